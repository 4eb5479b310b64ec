// Thread stress shared by the NPAPI and IE pages: the stress test plug-in
// (element "load") runs eight workers for ten seconds that fire numbered
// events, call onto the main thread and release page objects, while the page
// calls its members as fast as its timers run. Every event must arrive once,
// in order per worker, and nothing may fail or hang. The page loads this after
// the element, and the run starts at once.
var WORKERS = 8, SECONDS = 10;
var last = [], received = 0, outOfOrder = 0, pageCalls = 0, wrongAnswers = 0;
for (var w = 0; w < WORKERS; ++w)
    last.push(0);

function onStress(worker, sequence) {
    if (sequence !== last[worker] + 1)
        outOfOrder++;
    last[worker] = sequence;
    received++;
}

function listen(element, name, handler) {
    if (testbed.tableVersion !== undefined)
        element.addEventListener(name, handler, false); // NPAPI: the name without "on"
    else
        element.attachEvent("on" + name, handler);
}

function runStress() {
    listen(load, "stress", onStress);
    var started = new Date().getTime();
    check(load.start(WORKERS, SECONDS, function () { return {made: true}; }),
          "the workers started");
    var caller = setInterval(function () {
        for (var i = 0; i < 20; ++i) {
            if (load.ping(i) !== i)
                wrongAnswers++;
            pageCalls++;
        }
    }, 1);
    waitFor(function () { return !load.running; }, function (ended) {
        check(ended, "the workers ended by themselves");
        clearInterval(caller);
        var fired = load.fired;
        waitFor(function () { return received >= fired; }, function () {
            var ms = new Date().getTime() - started;
            console.log("events fired " + fired + ", received " + received + ", main-thread calls " +
                        load.mainCalls + ", page objects released off the main thread " +
                        load.released + ", page calls " + pageCalls + ", in " + ms + " ms");
            equal(received, fired, "every event arrived once");
            equal(outOfOrder, 0, "in order per worker");
            equal(wrongAnswers, 0, "every page call answered right");
            check(load.mainCalls > 0 && load.released > 0,
                  "the workers called the main thread and released page objects");
            equal(load.errors, "", "no worker failed");
            var sum = 0;
            for (var w = 0; w < WORKERS; ++w)
                sum += last[w];
            equal(sum, fired, "each worker's last number is its count");
            finish();
        }, 60000);
    }, (SECONDS + 30) * 1000);
}

runStress();
