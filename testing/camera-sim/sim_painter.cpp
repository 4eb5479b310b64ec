#include "sim_painter.h"

#include "GdiGuards.h"

namespace CameraSim {

namespace {

using testpng::GdiObject;
using testpng::MemoryDc;
using testpng::SelectedObject;

void fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
    RECT r{left, top, right, bottom};
    GdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    FillRect(dc, &r, brush.get());
}

void drawBars(HDC dc, int width, int height) {
    static const COLORREF bars[] = {RGB(192, 192, 192), RGB(192, 192, 0), RGB(0, 192, 192),
                                    RGB(0, 192, 0),     RGB(192, 0, 192), RGB(192, 0, 0),
                                    RGB(0, 0, 192)};
    const int count = sizeof bars / sizeof bars[0];
    const int barsBottom = height / 2;
    for (int i = 0; i < count; ++i)
        fill(dc, width * i / count, 0, width * (i + 1) / count, barsBottom, bars[i]);
    // A grey ramp under the bars, then black for the text.
    const int rampBottom = barsBottom + height / 16;
    for (int i = 0; i < 8; ++i) {
        int level = i * 255 / 7;
        fill(dc, width * i / 8, barsBottom, width * (i + 1) / 8, rampBottom,
             RGB(level, level, level));
    }
    fill(dc, 0, rampBottom, width, height, RGB(16, 16, 16));

    // Centre circle and cross: the classic alignment marks.
    GdiObject<HPEN> pen(CreatePen(PS_SOLID, 2, RGB(255, 255, 255)));
    SelectedObject selectPen(dc, pen.get());
    SelectedObject selectBrush(dc, GetStockObject(NULL_BRUSH));
    int cx = width / 2, cy = barsBottom / 2;
    int radius = (barsBottom < width ? barsBottom : width) * 2 / 5;
    Ellipse(dc, cx - radius, cy - radius, cx + radius, cy + radius);
    MoveToEx(dc, cx - radius, cy, nullptr);
    LineTo(dc, cx + radius, cy);
    MoveToEx(dc, cx, cy - radius, nullptr);
    LineTo(dc, cx, cy + radius);
}

HFONT makeFont(int height, int weight) {
    return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

void drawText(HDC dc, const std::wstring& text, RECT box, COLORREF colour, UINT format) {
    SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
              format | DT_NOPREFIX | DT_SINGLELINE | DT_END_ELLIPSIS);
}

} // namespace

std::wstring stateWord(const ViewState& state) {
    std::wstring word = state.live ? L"live" : L"stopped";
    if (state.recording)
        word += L" + recording";
    if (state.playingBack)
        word += L" + playback";
    return word;
}

void paintView(HDC target, const RECT& bounds, const ViewState& state) {
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    if (width <= 0 || height <= 0)
        return;
    MemoryDc memory(CreateCompatibleDC(target));
    const HDC dc = memory.get();
    if (!dc)
        return;
    {
        GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(target, width, height));
        SelectedObject selectBitmap(dc, bitmap.get());
        drawBars(dc, width, height);
        const int marker = width / 16 > 4 ? width / 16 : 4;
        if (state.live && width > marker) {
            // A marker sweeping the grey ramp shows that the picture is live.
            const int rampTop = height / 2, rampBottom = rampTop + height / 16;
            const int x = static_cast<int>((state.frame * 8) % (width - marker + 1));
            fill(dc, x, rampTop + 2, x + marker, rampBottom - 2, RGB(255, 0, 0));
        }

        int lineHeight = height / 14;
        if (lineHeight < 12)
            lineHeight = 12;
        GdiObject<HFONT> bold(makeFont(lineHeight * 4 / 5, FW_BOLD));
        GdiObject<HFONT> normal(makeFont(lineHeight * 7 / 10, FW_NORMAL));
        SelectedObject selectFont(dc, bold.get());
        SetBkMode(dc, TRANSPARENT);

        // Title over the bars, in a dark box so it reads on every colour.
        RECT titleBox{8, 8, width - 8, 8 + lineHeight};
        fill(dc, 4, 4, width - 4, 12 + lineHeight, RGB(0, 0, 0));
        drawText(dc, L"Kavrin camera simulator #" + std::to_wstring(state.instance), titleBox,
                 RGB(255, 255, 255), DT_LEFT | DT_VCENTER);

        // Live indicator in the top right corner.
        if (state.live) {
            GdiObject<HBRUSH> red(CreateSolidBrush(RGB(255, 0, 0)));
            SelectedObject selectBrush(dc, red.get());
            SelectedObject selectPen(dc, GetStockObject(NULL_PEN));
            int d = lineHeight * 2 / 3;
            Ellipse(dc, width - 12 - d, 8 + (lineHeight - d) / 2, width - 12,
                    8 + (lineHeight + d) / 2);
        }

        const int textTop = height / 2 + height / 16 + 4;
        SelectObject(dc, normal.get());
        RECT line{8, textTop, width - 8, textTop + lineHeight};
        const std::wstring address =
            state.address.empty() ? L"camera: not initialised" : L"camera: " + state.address;
        drawText(dc, address, line, RGB(255, 255, 255), DT_LEFT | DT_VCENTER);
        OffsetRect(&line, 0, lineHeight);
        drawText(dc,
                 L"state: " + stateWord(state) +
                     (state.live ? L"  (frame " + std::to_wstring(state.frame) + L")" : L""),
                 line, state.live ? RGB(255, 96, 96) : RGB(200, 200, 200), DT_LEFT | DT_VCENTER);
        OffsetRect(&line, 0, lineHeight);
        drawText(dc,
                 L"last call: " + (state.lastCall.empty() ? L"none" : state.lastCall) + L"  (" +
                     std::to_wstring(state.calls) + L" calls)",
                 line, RGB(160, 220, 255), DT_LEFT | DT_VCENTER);
        OffsetRect(&line, 0, lineHeight);
        drawText(dc, L"last event: " + (state.lastEvent.empty() ? L"none" : state.lastEvent), line,
                 RGB(255, 230, 120), DT_LEFT | DT_VCENTER);

        BitBlt(target, bounds.left, bounds.top, width, height, dc, 0, 0, SRCCOPY);
    }
}

} // namespace CameraSim
