#pragma once
// Window arithmetic in twips (1/1440 inch), independent of any window system.

namespace layout {

// Nearest whole number, a half going to the even neighbour.
long RoundHalfEven(double value);
// Integer division truncating toward zero, after both operands are rounded as above.
long IntDivide(double dividend, double divisor);

// Twips per pixel at a given DPI (15 at 96 DPI).
double TwipsPerPixel(unsigned dpi);
double PixelsToTwips(int pixels, unsigned dpi);
int TwipsToPixels(double twips, unsigned dpi);

struct Box {
    long left = 0, top = 0, width = 0, height = 0;
    bool valid = false; // False when the size is negative: the control keeps its place.
};

struct PaneLayout {
    long T = 0, S = 0, W3 = 0, H2 = 0;
    Box tree, files, libraries, result;
};

// The fixed proportions: tree left third, file list and library list sharing the right two thirds.
PaneLayout ComputePaneLayout(double clientWidth, double clientHeight, double toolbarHeight, double statusHeight);

struct ChildBox {
    Box button, log;
};
// The result panel: its close button in the top-right corner, the log below it.
ChildBox ComputeResultPanel(double panelWidth, double panelHeight, double buttonWidth, double buttonHeight);

// Sizes in pixels at 96 DPI: the toolbar's buttons, the bar that holds them, the status bar.
constexpr int ToolButtonWidth = 57, ToolButtonHeight = 35, ToolBarMinHeight = 37, StatusBarHeight = 26;

// Pixels at 96 DPI scaled to `dpi`, rounded to nearest with halves away from zero (as MulDiv).
int ScalePixels(int pixels, unsigned dpi);
// The bar keeps its height unless a caption font with taller lines makes the buttons taller:
// then it grows with them rather than cutting their captions.
int ToolBarHeight(unsigned dpi, int buttonHeight);

// The top-left of a window centred on the screen.
long CentredOrigin(double screenSize, double windowSize);

} // namespace layout
