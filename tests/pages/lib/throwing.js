// Drives the throwing test plug-in: each point of the plug-in is armed with
// each kind of exception, the page makes the plug-in's code run there, and the
// browser must answer with a failure (or nothing) and go on: the next call works
// and the page ends without a fault. The page defines ctl (a windowed element),
// wl (a windowless one), mimeType, ctlPoint and wlPoint (a point of each in the
// browser window).
var kinds = ["bad_alloc", "runtime_error", "script_error", "com_error", "atl_exception", "int"];
var inIE = typeof ScriptEngine === "function";

function threw(f) {
    try { f(); } catch (e) { return true; }
    return false;
}

// Runs the steps one after the other; each gets the function that starts the next.
function inSequence(steps, done) {
    var i = 0;
    (function next() {
        if (i < steps.length)
            steps[i++](next);
        else
            done();
    })();
}

function scriptingFaults(el, name) {
    for (var k = 0; k < kinds.length; ++k) {
        var kind = kinds[k];
        el.arm("member", kind);
        check(threw(function () { el.poke(); }), name + ": a member throwing " + kind + " is a script exception");
        equal(el.poke(), "poked", name + ": the next call answers");
        el.arm("get", kind);
        check(threw(function () { return el.setting; }), name + ": a property read throwing " + kind + " is a script exception");
        el.arm("set", kind);
        check(threw(function () { el.setting = "set"; }), name + ": a property write throwing " + kind + " is a script exception");
        el.setting = "after " + kind;
        equal(el.setting, "after " + kind, name + ": the property works again");
        var lookups = ctl.thrownAt("lookup");
        el.arm("lookup", kind);
        threw(function () { return el.setting; }); // a failed look-up may read as a missing member
        equal(ctl.thrownAt("lookup"), lookups + 1, name + ": a member look-up threw " + kind);
        equal(el.poke(), "poked", name + ": and the next look-up works");
    }
}

// Calls the plug-in scheduled on the main thread, and calls from its worker thread.
function laterFaults(next) {
    var steps = [];
    for (var k = 0; k < kinds.length; ++k) {
        (function (kind) {
            steps.push(function (next) {
                var runs = ctl.asyncRuns;
                ctl.arm("async", kind);
                check(ctl.scheduleThrow(), "a main-thread call throwing " + kind + " is scheduled");
                waitFor(function () { return ctl.asyncRuns === runs + 1; }, function (ok) {
                    check(ok, "the call after it still ran (" + kind + ")");
                    equal(ctl.thrownAt("async") > 0, true, "the scheduled call threw");
                    next();
                });
            });
            steps.push(function (next) {
                ctl.arm("crossthread", kind);
                ctl.crossThreadThrow();
                waitFor(function () { return ctl.crossThreadResult !== ""; }, function (ok) {
                    var result = ctl.crossThreadResult;
                    check(ok && result.indexOf("error: ") === 0,
                          "a worker's main-thread call throwing " + kind + " comes back as an error: " + result);
                    next();
                });
            });
        })(kinds[k]);
    }
    inSequence(steps, next);
}

// A step that arms el's point with kind, makes trigger() reach it and checks
// that the plug-in threw there (what names it); answering names the element
// whose next call must still answer, when there is one to check.
function armedStep(el, point, kind, trigger, what, answering) {
    return function (next) {
        var before = el.thrownAt(point);
        el.arm(point, kind);
        trigger();
        waitFor(function () { return el.thrownAt(point) > before; }, function (ok) {
            check(ok, what + " threw " + kind);
            if (answering)
                equal(el.poke(), "poked", answering + " still answers");
            next();
        });
    };
}

// Window messages and drawing of the windowed and the windowless element.
function windowFaults(next) {
    var steps = [];
    function clickCtl() { testbed.click(ctlPoint.x, ctlPoint.y); }
    function clickWl() { testbed.click(wlPoint.x, wlPoint.y); }
    function repaintWl() { wl.repaint(); }
    for (var k = 0; k < kinds.length; ++k) {
        steps.push(armedStep(ctl, "window", kinds[k], clickCtl,
                             "the windowed element's window handler", "the windowed element"));
        steps.push(armedStep(wl, "window", kinds[k], clickWl,
                             "the windowless element's event handler"));
        steps.push(armedStep(wl, "paint", kinds[k], repaintWl,
                             "the windowless element's drawing", "the windowless element"));
    }
    inSequence(steps, next);
}

// An element whose plug-in throws while it is made, attached, detached or ended.
function lifeFaults(next) {
    var points = ["create", "api", "ready", "attach", "detach", "shutdown"];
    var steps = [];
    for (var p = 0; p < points.length; ++p) {
        for (var k = 0; k < kinds.length; ++k) {
            (function (point, kind) {
                steps.push(function (next) {
                    var el = document.createElement("object");
                    el.setAttribute("type", mimeType);
                    el.width = 60;
                    el.height = 40;
                    ctl.arm(point, kind);
                    // A control that cannot be made may fail the call itself.
                    threw(function () { document.body.appendChild(el); });
                    setTimeout(function () {
                        threw(function () { el.poke(); }); // answers or fails, as the plug-in got
                        threw(function () { document.body.removeChild(el); });
                        ctl.disarm();
                        equal(ctl.poke(), "poked", "after " + point + " threw " + kind + " the page goes on");
                        next();
                    }, 30);
                });
            })(points[p], kinds[k]);
        }
    }
    inSequence(steps, function () {
        for (var p = 0; p < points.length; ++p)
            check(ctl.thrownAt(points[p]) > 0, "the plug-in threw at " + points[p] + " " +
                  ctl.thrownAt(points[p]) + " time(s)");
        next();
    });
}

function runThrowingPage() {
    scriptingFaults(ctl, "windowed");
    scriptingFaults(wl, "windowless");
    inSequence([laterFaults, windowFaults, lifeFaults], function () {
        var fresh = document.createElement("object");
        fresh.setAttribute("type", mimeType);
        document.body.appendChild(fresh);
        setTimeout(function () {
            equal(fresh.poke(), "poked", "a new element works after all the faults");
            document.body.removeChild(fresh);
            finish();
        }, 30);
    });
}
