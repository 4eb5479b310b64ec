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

function unsubscribe(cam, handler) {
    if (cam.detachEvent)
        cam.detachEvent("onOnCtrlEvent", handler);
    else
        cam.removeEventListener("OnCtrlEvent", handler, false);
}

// Camera events to a page handler: a burst of count events raised back to back
// by the camera (throughput, order, losses), then single events, each
// raised once the one before has arrived and stamped with the camera's clock
// when it fired it (latency from the camera's call to the handler).
// listen(handler) makes handler(text) receive the events; raise(text, count)
// asks the camera for them; done({rate, p50, p99, latencies}) follows (events/s,
// us; latencies sorted).
// The burst is waited for waitSeconds (300 by default); singleCount single
// events follow it (1000 by default).
function eventBench(where, listen, raise, count, done, waitSeconds, singleCount) {
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
        singles(singleCount || 1000);
    })();

    function singles(left) {
        if (left === 0) {
            latencies.sort(function (a, b) { return a - b; });
            done({rate: rate, p50: percentile(latencies, 0.5), p99: percentile(latencies, 0.99),
                  latencies: latencies});
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
             anchor ? anchor.rate : 0, "-");
    benchRow("event latency p50: " + where, figures.p50, "us", anchor ? anchorName : "-",
             anchor ? anchor.p50 : 0, "-");
    benchRow("event latency p99: " + where, figures.p99, "us", anchor ? anchorName : "-",
             anchor ? anchor.p99 : 0, "-");
}

// What a native handler of the browser kept: {received, inOrder, rate (from the
// first burst event's firing to the last one's arrival, events/s), latencies,
// p50, p99 (microseconds)}.
function handlerFigures(handler) {
    var f = testbed.handlerFigures(handler).split(" ");
    return {received: parseInt(f[0], 10), inOrder: f[1] === "1", rate: parseFloat(f[2]),
            latencies: parseInt(f[3], 10), p50: parseFloat(f[4]), p99: parseFloat(f[5])};
}

// Camera events to a page handler written in C++ (testbed.nativeHandler), so
// that no script runs in the handler: a burst of count events (rate, order,
// losses), then 1000 single events for the latency from the camera's call to
// the handler; against the browser calling such a handler itself, from the
// same thread, as often. done() follows the rows.
function nativeEventBench(where, cam, count, done, waitSeconds) {
    var handler = testbed.nativeHandler();
    subscribe(cam, handler);
    var start = testbed.now(), wait = (waitSeconds || 300) * 1e6;
    testbed.raiseEvents("b{n}@{qpc}", 3, 7, count);
    (function waitBurst() {
        var f = handlerFigures(handler);
        if (f.received < count && testbed.now() - start < wait) {
            setTimeout(waitBurst, 10);
            return;
        }
        console.log(where + " (native handler): " + f.received + " of " + count +
                    " events delivered" + (f.inOrder ? ", in order" : ", OUT OF ORDER"));
        if (!f.inOrder)
            console.log("FAIL " + where + ": events out of order");
        else if (f.received !== count)
            console.log("FAIL " + where + ": " + (count - f.received) + " events were lost");
        singles(f.rate, 1000);
    })();

    function singles(rate, left) {
        if (left === 0) {
            var through = handlerFigures(handler), direct = testbed.nativeHandler();
            testbed.callHandler(direct, "b", count);
            testbed.callHandler(direct, "t", 1000);
            var d = handlerFigures(direct), directRate = d.rate;
            if (d.received !== count || !d.inOrder)
                console.log("FAIL " + where + ": the direct calls did not all arrive in order");
            var anchor = "the browser calling the same handler directly";
            benchRow("event: camera to native page handler, events/s (" + where + ")", rate,
                     "events/s", anchor, directRate, ">= 0.5");
            benchRow("event: camera to native page handler, p50 (" + where + ")", through.p50, "us",
                     anchor, d.p50, "-");
            benchRow("event: camera to native page handler, p99 (" + where + ")", through.p99, "us",
                     anchor, d.p99, "-");
            done();
            return;
        }
        var expected = handlerFigures(handler).latencies + 1, since = testbed.now();
        testbed.raiseEvents("t{qpc}", 3, 7, 1);
        (function arrived() {
            if (handlerFigures(handler).latencies >= expected || testbed.now() - since > 5e6)
                singles(rate, left - 1);
            else
                setTimeout(arrived, 0);
        })();
    }
}
