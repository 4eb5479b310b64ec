#!/usr/bin/env python3
"""Turns each ```html block of a document into a test page, as a page author
copies it: the block as it stands, orvela.js beside it, and an end that
closes the page after a while. Before each block the document says, in a
comment, what the page's console must show and where it runs:

    <!-- test: expect="the camera is ready" browsers="npapi ie ie64" -->

Writes <out>/<name>-<n>.html and <out>/<name>.cmake, which sets
<name>_blocks to "n|expect|browsers" entries for the test registrations.

usage: doc_pages.py <document.md> <name> <out folder> <orvela.js>
(orvela.js goes beside the pages and into sdk/ below them)
"""
import os
import re
import shutil
import sys

document, name, out, script = sys.argv[1:5]
text = open(document, encoding="utf-8").read()
os.makedirs(out, exist_ok=True)
# Beside the page, and where the README's snippet finds it.
os.makedirs(os.path.join(out, "sdk"), exist_ok=True)
shutil.copy(script, os.path.join(out, "orvela.js"))
shutil.copy(script, os.path.join(out, "sdk", "orvela.js"))

# The page closes itself once it printed what the document promises.
ending = """
<script>
(function () {
    var started = new Date().getTime();
    (function wait() {
        if (new Date().getTime() - started > %d) {
            console.log("page ended");
            window.close();
        } else {
            setTimeout(wait, 100);
        }
    })();
})();
</script>
"""

entries = []
pattern = re.compile(r'<!-- test: expect="([^"]*)" browsers="([^"]*)"(?: seconds="(\d+)")? -->\s*'
                     r'```html\n(.*?)```', re.S)
blocks = re.findall(r"```html\n", text)
for number, match in enumerate(pattern.finditer(text), 1):
    expect, browsers, seconds, block = match.groups()
    page = os.path.join(out, "%s-%d.html" % (name, number))
    with open(page, "w", encoding="utf-8") as f:
        f.write("<html>\n<body>\n" + block + ending % (1000 * int(seconds or 3)) + "</body>\n</html>\n")
    entries.append("%d|%s|%s" % (number, re.escape(expect), browsers))
if len(entries) != len(blocks):
    sys.exit("%s: %d html blocks, %d with a test comment before them"
             % (document, len(blocks), len(entries)))
with open(os.path.join(out, name + ".cmake"), "w", encoding="utf-8") as f:
    f.write("set(%s_blocks\n" % name)
    for entry in entries:
        f.write('    "%s"\n' % entry.replace("\\", "\\\\").replace('"', '\\"'))
    f.write(")\n")
