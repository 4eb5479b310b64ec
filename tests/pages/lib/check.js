// What every test page uses: checks that print one line each, a poll for
// things that happen later, the end of the page, and the helpers several pages
// share (listening for events, reading the journal, calls that must answer). A failed check makes the
// page end with an uncaught error, so the browser's exit code says so.
var failures = 0;

function check(ok, what) {
    if (ok)
        console.log("ok - " + what);
    else {
        failures++;
        console.error("FAIL " + what);
    }
}

function describe(value) {
    try {
        return JSON.stringify(value);
    } catch (e) {
        return String(value); // elements refer to their parents
    }
}

function equal(actual, expected, what) {
    check(actual === expected,
          what + " (got " + describe(actual) + ", expected " + describe(expected) + ")");
}

// Calls then(true) once cond() holds, then(false) after ms milliseconds.
function waitFor(cond, then, ms) {
    var start = new Date().getTime();
    (function poll() {
        if (cond())
            then(true);
        else if (new Date().getTime() - start > (ms || 5000))
            then(false);
        else
            setTimeout(poll, 20);
    })();
}

// The camera simulator's journal: calls (of one operation) as the camera got them.
function cameraCalls(name) {
    var records = testbed.journal(), calls = [];
    for (var i = 0; i < records.length; ++i) {
        if (records[i].kind === "call" && (!name || records[i].name === name))
            calls.push(records[i]);
    }
    return calls;
}

function finish() {
    console.log(failures ? "FAILED" : "PASSED");
    window.close();
    if (failures)
        throw new Error(failures + " check(s) failed");
}

// Both browsers' ways of listening: attachEvent("on" + name) in Internet
// Explorer, addEventListener(name) under NPAPI.
function listen(target, name, handler) {
    eventHandler(target, name, handler, "attachEvent", "addEventListener");
}
function unlisten(target, name, handler) {
    eventHandler(target, name, handler, "detachEvent", "removeEventListener");
}
function eventHandler(target, name, handler, ieWay, domWay) {
    try {
        if (target[ieWay]) {
            target[ieWay]("on" + name, handler);
            return;
        }
    } catch (e) {}
    target[domWay](name, handler, false);
}

// The simulator's journal: the instances whose life record is `what`, and the
// event records of one instance, in order.
function lifeOf(what) {
    var records = testbed.journal(), found = [];
    for (var i = 0; i < records.length; ++i) {
        if (records[i].kind === "life" && records[i].name === what)
            found.push(records[i].instance);
    }
    return found;
}
function eventsOf(instance) {
    var records = testbed.journal(), found = [];
    for (var i = 0; i < records.length; ++i) {
        if (records[i].kind === "event" && records[i].instance === instance)
            found.push(records[i]);
    }
    return found;
}

// Every member answers without throwing: the value, or "threw <message>".
function answer(f) {
    try {
        return f();
    } catch (e) {
        return "threw " + (e.message || e.description || e);
    }
}
