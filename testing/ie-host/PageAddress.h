#pragma once
// The address the page claims to come from: --page-url, else its file's URL.
// The host reports it as the web browser's LocationURL and the document's
// URL; nothing is ever fetched from it.

#include <string>

namespace IeHost {

std::wstring pageAddress();

// testbed.movePage(url): from now on the page claims url while its elements
// and their controls stay. No real browser keeps a control across a
// navigation to another site; this stands for any path that would, so a
// test can show that a control checks the page again.
void movePage(std::wstring url);

} // namespace IeHost
