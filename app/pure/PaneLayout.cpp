#include "app/pure/PaneLayout.h"
#include <algorithm>
#include <cmath>

namespace layout {

long RoundHalfEven(double value) { return static_cast<long>(std::nearbyint(value)); }

long IntDivide(double dividend, double divisor) { return RoundHalfEven(dividend) / RoundHalfEven(divisor); }

double TwipsPerPixel(unsigned dpi) { return 1440.0 / (dpi ? dpi : 96); }

double PixelsToTwips(int pixels, unsigned dpi) { return pixels * TwipsPerPixel(dpi); }

int TwipsToPixels(double twips, unsigned dpi) { return static_cast<int>(RoundHalfEven(twips / TwipsPerPixel(dpi))); }

namespace {

Box MakeBox(long left, long top, long width, long height)
{
    return {left, top, width, height, width >= 0 && height >= 0};
}

} // namespace

PaneLayout ComputePaneLayout(double clientWidth, double clientHeight, double toolbarHeight, double statusHeight)
{
    PaneLayout p;
    p.T = RoundHalfEven(toolbarHeight + 45);
    p.S = RoundHalfEven(statusHeight);
    p.W3 = IntDivide(clientWidth, 3);
    p.H2 = IntDivide(clientHeight - p.T - p.S, 2);
    p.tree = MakeBox(0, p.T, p.W3, 2 * p.H2);
    p.files = MakeBox(p.W3, p.T, 2 * p.W3, p.H2);
    p.libraries = MakeBox(p.W3, p.T + p.H2, 2 * p.W3, p.H2);
    p.result = MakeBox(0, 60, RoundHalfEven(clientWidth), RoundHalfEven(clientHeight - p.S));
    return p;
}

ChildBox ComputeResultPanel(double panelWidth, double panelHeight, double buttonWidth, double buttonHeight)
{
    ChildBox c;
    long bw = RoundHalfEven(buttonWidth);
    long bh = RoundHalfEven(buttonHeight);
    c.button = {RoundHalfEven(panelWidth - buttonWidth), 0, bw, bh, true};
    c.log = MakeBox(0, bh, RoundHalfEven(panelWidth), RoundHalfEven(panelHeight - buttonHeight));
    return c;
}

long CentredOrigin(double screenSize, double windowSize) { return RoundHalfEven(screenSize - windowSize) / 2; }

int ScalePixels(int pixels, unsigned dpi)
{
    long long product = static_cast<long long>(pixels) * dpi;
    return static_cast<int>((product + (product < 0 ? -48 : 48)) / 96);
}

int ToolBarHeight(unsigned dpi, int buttonHeight)
{
    return std::max(ScalePixels(ToolBarMinHeight, dpi), buttonHeight + 2);
}

} // namespace layout
