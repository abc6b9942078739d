#pragma once
// Geometry of the progress window, kept free of Windows so it can be checked
// natively: where the status line goes in each layout, how far the progress
// bar fills, where the frame lines and the close button's icon sit.

// A rectangle by its edges, in pixels (client coordinates of the window).
struct LayoutRect {
  int left;
  int top;
  int right;
  int bottom;
};

// A window position and size, in pixels, as MoveWindow takes them.
struct Placement {
  int x;
  int y;
  int width;
  int height;
};

struct LayoutPoint {
  int x;
  int y;
};

// Screen pixels per logical inch over the 96 the template was drawn for.
float ScaleFromDpi(int dots_per_inch);

// A status text on its own: the line moves in and down and grows into a
// taller area that can hold several lines. The width takes the saved right
// edge as it is, which makes the area a little wider than the line was.
Placement MessageLayoutPlacement(const LayoutRect& saved_status_line, float scale);

// During the download the status line goes back to where the template put it.
Placement ProgressLayoutPlacement(const LayoutRect& saved_status_line);

// Pixels of a bar `width` wide that the fill covers for `position` in the
// range low..high. A position outside the range, or an empty range, fills
// nothing.
int ProgressFillWidth(int low, int high, int position, int width);

// The two frame lines drawn around the client rectangle: the outer one
// reaches one pixel past the right and bottom edges, the inner one sits one
// pixel inside at the top and left.
LayoutRect OuterFrameRect(const LayoutRect& client);
LayoutRect InnerFrameRect(const LayoutRect& client);

// Top-left corner of an icon centred on a button, nudged one pixel right and
// down.
LayoutPoint CentredIconOrigin(int button_width, int button_height, int icon_width, int icon_height);
