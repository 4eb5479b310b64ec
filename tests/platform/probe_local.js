// Drives the local-server probe from JScript: COM starts the program, calls
// cross the process boundary, and a failure arrives as an exception.
var failures = 0;
function check(what, actual, expected) {
    if (actual !== expected) {
        WScript.Echo("FAIL " + what + ": got <" + actual + "> expected <" + expected + ">");
        failures++;
    }
}

var probe = new ActiveXObject("OrvelaProbe.LocalServer");
check("Add", probe.Add(40, 2), 42);
check("Concat", probe.Concat("x", "\u00e9"), "x\u00e9");
check("other process", probe.ProcessId > 0, true);
var caught = null;
try {
    probe.Fail("remote says no");
} catch (e) {
    caught = e;
}
check("Fail raised", caught !== null, true);
if (caught)
    check("Fail message", caught.message, "remote says no");

if (failures === 0)
    WScript.Echo("probe_local.js: all checks passed");
// Wine's script host does not return from Quit while it holds a proxy.
probe = null;
CollectGarbage();
WScript.Quit(failures === 0 ? 0 : 1);
