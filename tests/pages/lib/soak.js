// Soak shared by the browsers: a camera element is made, driven and removed
// again and again (ORVELA_SOAK_CYCLES times, 300 by default). After the
// warm-up, handles, GDI and USER objects (windows, where the system counts
// none) and private bytes of each watched process must not grow by 1%. The
// page defines describeCamera(cam) (what makes an element a camera: a type, a
// class id), playCamera(cam) (a call that answers 0 once the camera exists)
// and calls soak(processes, platform) with the processes to
// watch ("" is the browser itself) and, where the platform itself is known to
// keep memory for each cycle, platform = {bytesPerCycle, step}: those bytes a
// cycle and one growth step of the memory that holds them are taken off
// before the rule applies.
var CYCLES = Number(testbed.env("ORVELA_SOAK_CYCLES")) || 300;
var WARMUP = Math.max(30, Math.floor(CYCLES / 10));
var COUNTERS = ["handles", "gdi", "user", "privateBytes"];

// One camera element of the soak, as the page describes it.
function makeCamera() {
    var cam = document.createElement("object");
    describeCamera(cam);
    cam.width = 160;
    cam.height = 120;
    return cam;
}

function sample(process) {
    var text = testbed.resources(process), values = text.split(" ");
    var result = {};
    for (var i = 0; i < COUNTERS.length; ++i)
        result[COUNTERS[i]] = Number(values[i]);
    result.text = text;
    return result;
}

// One cycle: the element goes in, is driven once the browser has activated
// it and made its camera (Internet Explorer does so after the script returns;
// the bridge a little later still), and goes out.
function oneCycle(n, then) {
    var cam = makeCamera(), turns = 0, init = null;
    document.body.appendChild(cam);
    function drive() {
        var playing = false;
        try {
            if (init === null)
                init = cam.InitCtrl("http://192.0.2.30/", "192.0.2.30", 8000 + n % 100);
            playing = playCamera(cam) === 0;
        } catch (e) {
            console.error("cycle " + n + ": " + e.message);
        }
        if (!playing && ++turns < 200) {
            setTimeout(drive, 5);
            return;
        }
        document.body.removeChild(cam);
        // A script engine that counts references alone (Wine's JScript)
        // never frees a scope that refers to itself through one of its
        // functions: the cycle is broken here, and the element let go.
        cam = null;
        drive = null;
        setTimeout(function () { then(init === 0 && playing); }, 0);
    }
    setTimeout(drive, 0);
}

// Runs the cycles one after another through the message loop (deferred
// releases and timers run as in a browser left open).
function soak(processes, platform) {
    var n = 0, failed = 0, baseline = null, started = new Date().getTime();
    function next(ok) {
        if (!ok)
            failed++;
        ++n;
        if (n === WARMUP) {
            baseline = [];
            for (var p = 0; p < processes.length; ++p)
                baseline.push(sample(processes[p]));
        }
        if (n % Math.max(1, Math.floor(CYCLES / 10)) === 0)
            console.log("cycle " + n + ": " + describeAll());
        if (n < CYCLES)
            oneCycle(n, next);
        else
            setTimeout(report, 500); // the last deferred releases
    }
    function describeAll() {
        var text = [];
        for (var p = 0; p < processes.length; ++p)
            text.push((processes[p] || "browser") + " " + testbed.resources(processes[p]));
        return text.join("; ");
    }
    function report() {
        console.log("soak: " + CYCLES + " cycles in " + (new Date().getTime() - started) + " ms");
        equal(failed, 0, "every cycle's calls answered 0");
        for (var p = 0; p < processes.length; ++p) {
            var after = sample(processes[p]), name = processes[p] || "browser";
            for (var c = 0; c < COUNTERS.length; ++c) {
                var was = baseline[p][COUNTERS[c]], now = after[COUNTERS[c]];
                var allowed = COUNTERS[c] === "privateBytes" && platform ?
                    platform.bytesPerCycle * (CYCLES - WARMUP) + platform.step : 0;
                var growth = was > 0 ? (now - was - allowed) / was : (now > was ? 1 : 0);
                console.log("soak " + name + " " + COUNTERS[c] + ": " + was + " -> " + now + " (" +
                            (100 * (now - was) / Math.max(was, 1)).toFixed(2) + "%" +
                            (allowed ? ", " + (growth * 100).toFixed(2) + "% beyond what the " +
                             "platform keeps" : "") + ")");
                if (COUNTERS[c] === "privateBytes")
                    console.log("soak " + name + " private bytes per cycle: " +
                                ((now - was) / (CYCLES - WARMUP)).toFixed(0));
                check(growth < 0.01, name + " " + COUNTERS[c] + " grew less than 1% after " +
                      WARMUP + " warm-up cycles");
            }
        }
        finish();
    }
    oneCycle(0, next);
}
