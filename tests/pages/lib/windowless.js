// Windowless drawing and input shared by the NPAPI and IE pages: the element
// "pad" of the windowless test plug-in, whose top left corner sits at (left,
// top) of the browser's window, paints its area blue, takes the presses inside
// it only, and is repainted red once the page sets its colour. `what` names the
// element in the checks; recolour() sets the colour and checks what the
// browser saw of it; `repainted` begins the last check's text.
function checkWindowlessPad(left, top, what, recolour, repainted) {
    function colourAt(x, y) { return testbed.pixel(left + x, top + y); }
    waitFor(function () { return pad.paints > 0 && colourAt(50, 40) === 0x2080C0; }, function (ok) {
        check(ok, "the " + what + " painted its area: " + colourAt(50, 40).toString(16) +
              " after " + pad.paints + " paint(s)");
        check(colourAt(150, 40) !== 0x2080C0, "and nothing beside it");
        testbed.click(left + 10, top + 20);
        equal(pad.clicks, 1, "a press inside reached the " + what);
        equal(pad.lastClick, "10,20", "at " + what + " co-ordinates");
        testbed.click(left + 150, top + 20);
        equal(pad.clicks, 1, "a press outside did not");
        recolour(0xC02020);
        waitFor(function () { return colourAt(50, 40) === 0xC02020; }, function (ok) {
            check(ok, repainted + colourAt(50, 40).toString(16));
            finish();
        });
    });
}
