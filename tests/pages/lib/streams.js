// Stream checks shared by the NPAPI and IE pages: the streams test plug-in
// (element "net") has the browser fetch from the loopback server the test
// started (testbed.env names its port and a local file) and reports what
// arrived.
var base = "http://127.0.0.1:" + testbed.env("ORVELA_HTTP_PORT");
var steps = [];

function step(name, run) { steps.push({name: name, run: run}); }

function runSteps() {
    if (!steps.length) {
        finish();
        return;
    }
    var next = steps.shift();
    console.log("# " + next.name);
    next.run(runSteps);
}

// Downloads url and hands the stream's story to then(story): opened, failedOpen,
// and the completion's success, bytes, crc, inOrder and pieces (undefined when
// it never came within the time).
function fetchStory(start, then, ms) {
    var story = {opened: false, failedOpen: false, completions: 0};
    var id = start(function (kind, a, b, c, d, e) {
        if (kind === "opened") {
            story.opened = true;
            story.length = a;
        } else if (kind === "failedOpen") {
            story.failedOpen = true;
        } else if (kind === "completed") {
            story.completions++;
            story.success = a;
            story.bytes = b;
            story.crc = c;
            story.inOrder = d;
            story.pieces = e;
        }
    });
    story.id = id;
    if (id < 0) {
        then(story);
        return;
    }
    waitFor(function () { return story.completions > 0; }, function () {
        // Anything more would come at once: look again a little later.
        setTimeout(function () { then(story); }, 200);
    }, ms || 30000);
}

function download(url) {
    return function (onEvent) { return net.download(url, onEvent); };
}

// crc: the expected CRC-32, or a function answering it when the step runs.
function expectWhole(what, url, size, crc) {
    step(what, function (next) {
        var started = new Date().getTime();
        fetchStory(download(url), function (story) {
            check(story.id > 0, what + ": a stream was made");
            check(story.opened, what + ": it opened");
            equal(story.completions, 1, what + ": one completion");
            equal(story.success, true, what + ": it succeeded");
            equal(story.bytes, size, what + ": every byte arrived");
            equal(story.crc, typeof crc === "function" ? crc() : crc,
                  what + ": the bytes are the source's");
            equal(story.inOrder, true, what + ": in order, with rising progress");
            check(story.pieces > 1, what + ": in " + story.pieces + " pieces");
            console.log(what + ": " + size + " bytes in " + (new Date().getTime() - started) +
                        " ms");
            next();
        }, 60000);
    });
}

function expectFailure(what, url) {
    step(what, function (next) {
        fetchStory(download(url), function (story) {
            check(story.id < 0 || story.failedOpen || story.success === false,
                  what + ": fails (stream " + story.id + ", failedOpen " + story.failedOpen +
                  ", success " + story.success + ")");
            check(story.completions <= 1, what + ": at most one completion");
            next();
        }, 20000);
    });
}

function fetchText(url, then) {
    var answer = null;
    check(net.fetchText(url, function (ok, text) { answer = {ok: ok, text: text}; }),
          "fetching " + url);
    waitFor(function () { return answer !== null; }, function () {
        then(answer || {ok: false, text: ""});
    }, 20000);
}

// The steps both browsers take; answers a function giving /pattern's CRC-32
// once the first step has fetched it.
function streamSteps() {
    var largeCrc = "", patternCrc = "";
    step("the server's checksums", function (next) {
        fetchText(base + "/large.crc32", function (answer) {
            equal(answer.ok, true, "the checksum of /large came");
            largeCrc = answer.text;
            fetchText(base + "/pattern.crc32", function (answer) {
                patternCrc = answer.text;
                next();
            });
        });
    });
    expectWhole("5 MB over HTTP", base + "/large", 5242880, function () { return largeCrc; });
    expectWhole("a local file", testbed.env("ORVELA_STREAM_FILE"), 1048576,
                testbed.env("ORVELA_STREAM_FILE_CRC32"));
    expectFailure("a missing resource (404)", base + "/missing");
    expectFailure("a refused connection", "http://127.0.0.1:1/refused");
    expectFailure("a connection cut short", base + "/truncated");
    step("a slow resource", function (next) {
        fetchStory(download(base + "/slow"), function (story) {
            equal(story.success, true, "the slow resource arrived");
            equal(story.bytes, 10000, "whole");
            next();
        });
    });
    step("a post", function (next) {
        fetchStory(function (onEvent) {
            return net.postTo(base + "/echo", "camera=1&name=orvela", onEvent);
        }, function (story) {
            equal(story.success, true, "the post completed");
            check(story.bytes > 0, "with an answer of " + story.bytes + " bytes");
            var answer = null;
            net.postText(base + "/echo", "camera=2", function (ok, text) {
                answer = {ok: ok, text: text};
            });
            waitFor(function () { return answer !== null; }, function () {
                check(answer && answer.ok, "a second post completed");
                check(answer && answer.text.indexOf("echo:camera=2 type:") === 0,
                      "its body reached the server and the answer the page: " +
                      (answer && answer.text));
                next();
            }, 20000);
        });
    });
    step("range reads", function (next) {
        var wanted = [[100, 50], [40000, 20], [65530, 6]], total = 76, got = 0;
        var opened = false, refused = false, wrong = [], stray = 0;
        var id = net.readRanges(base + "/pattern", "100:50,40000:20,65530:6",
                                function (kind, offset, bytes) {
            if (kind === "opened")
                opened = true;
            else if (kind === "rangesRefused")
                refused = true;
            else if (kind === "data") {
                var values = bytes.split(",");
                for (var i = 0; i < values.length; ++i) {
                    var at = offset + i, inside = false;
                    for (var r = 0; r < wanted.length; ++r)
                        inside = inside || (at >= wanted[r][0] && at < wanted[r][0] + wanted[r][1]);
                    if (!inside)
                        stray++;
                    else if (Number(values[i]) !== at % 251)
                        wrong.push(at);
                }
                got += values.length;
            }
        });
        check(id > 0, "a seekable stream was made");
        waitFor(function () { return refused || got >= total; }, function () {
            check(opened, "it opened");
            check(!refused, "the ranges were taken");
            equal(got, total, "exactly the requested bytes arrived");
            equal(stray, 0, "nothing outside the ranges");
            equal(wrong.length, 0, "each byte is the resource's");
            net.closeStream(id);
            next();
        }, 20000);
    });
    return function () { return patternCrc; };
}
