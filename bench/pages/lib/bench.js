// What the benchmark pages share: report rows (collected by
// scripts/bench-report into build/bench/report.md), percentiles, and the
// camera-event benchmark that every browser runs.

// One report row: the figure, its anchor measured in the same run (or "-"
// and 0 when there is none), their ratio and the target.
function benchRow(row, figure, unit, anchor, anchorFigure, target) {
    console.log("BENCH | " + row + " | " + figure.toFixed(1) + " | " + unit + " | " + anchor +
                " | " + anchorFigure.toFixed(1) + " | " +
                (anchorFigure > 0 ? (figure / anchorFigure).toFixed(2) : "-") + " | " + target);
}

// Microseconds for count calls of target.SetBufferTick(1, 2).
function setBufferTickLoop(target, count) {
    var start = testbed.now();
    for (var i = 0; i < count; ++i)
        target.SetBufferTick(1, 2);
    return testbed.now() - start;
}

function percentile(sorted, fraction) {
    return sorted[Math.min(sorted.length - 1, Math.floor(fraction * sorted.length))];
}

function subscribe(cam, handler) {
    if (cam.attachEvent)
        cam.attachEvent("onOnCtrlEvent", handler);
    else
        cam.addEventListener("OnCtrlEvent", handler, false);
}

// Camera events to a page handler: a burst of count events raised back to back
// by the camera (throughput, order, losses), then 1000 single events, each
// raised once the one before has arrived and stamped with the camera's clock
// when it fired it (latency from the camera's call to the handler).
// listen(handler) makes handler(text) receive the events; raise(text, count)
// asks the camera for them; done({rate, p50, p99}) follows (events/s, us).
// The burst is waited for waitSeconds (300 by default).
function eventBench(where, listen, raise, count, done, waitSeconds) {
    var received = 0, inOrder = true, lastArrival = 0, latencies = [], rate = 0;
    listen(function (text) {
        if (text.charAt(0) === "b") {
            // Burst events, also those still arriving after the wait, are
            // told from the single ones by their text.
            if (text !== "b" + received)
                inOrder = false;
            ++received;
            lastArrival = testbed.now();
        } else {
            latencies.push(testbed.now() - parseFloat(text.substring(1)));
        }
    });
    var start = testbed.now();
    raise("b{n}", count);
    // Until every event arrived, or for waitSeconds (300 s).
    var wait = (waitSeconds || 300) * 1e6;
    (function waitBurst() {
        if (received < count && testbed.now() - start < wait) {
            setTimeout(waitBurst, 10);
            return;
        }
        var seconds = (lastArrival - start) / 1e6;
        console.log(where + ": " + received + " of " + count + " events delivered" +
                    (inOrder ? ", in order" : ", OUT OF ORDER") + " in " + seconds.toFixed(2) + " s");
        if (!inOrder)
            console.log("FAIL " + where + ": events out of order");
        else if (received !== count)
            console.log("FAIL " + where + ": " + (count - received) + " events had not arrived " +
                        "when the wait ended");
        rate = received / Math.max(seconds, 1e-6);
        singles(1000);
    })();

    function singles(left) {
        if (left === 0) {
            latencies.sort(function (a, b) { return a - b; });
            done({rate: rate, p50: percentile(latencies, 0.5), p99: percentile(latencies, 0.99)});
            return;
        }
        var expected = latencies.length + 1, since = testbed.now();
        raise("t{qpc}", 1);
        (function arrived() {
            if (latencies.length >= expected || testbed.now() - since > 5e6)
                singles(left - 1);
            else
                setTimeout(arrived, 0);
        })();
    }
}

// The rows of an event benchmark, next to an anchor's figures (or none).
function eventRows(where, figures, anchorName, anchor) {
    benchRow("events/s: " + where, figures.rate, "events/s", anchor ? anchorName : "-",
             anchor ? anchor.rate : 0, ">= 50000");
    benchRow("event latency p50: " + where, figures.p50, "us", anchor ? anchorName : "-",
             anchor ? anchor.p50 : 0, "-");
    benchRow("event latency p99: " + where, figures.p99, "us", anchor ? anchorName : "-",
             anchor ? anchor.p99 : 0, "-");
}
