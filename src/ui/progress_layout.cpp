#include "ui/progress_layout.h"

float ScaleFromDpi(int dots_per_inch) { return static_cast<float>(dots_per_inch) / 96.0f; }

Placement MessageLayoutPlacement(const LayoutRect& saved, float scale) {
  Placement placement;
  placement.x = static_cast<int>(static_cast<float>(saved.left) + 15.0f * scale);
  placement.y = static_cast<int>(static_cast<float>(saved.top) + 10.0f * scale);
  placement.width = saved.right;
  placement.height = static_cast<int>(static_cast<float>(saved.bottom) + 30.0f * scale);
  return placement;
}

Placement ProgressLayoutPlacement(const LayoutRect& saved) {
  Placement placement;
  placement.x = saved.left;
  placement.y = saved.top;
  placement.width = saved.right - saved.left;
  placement.height = saved.bottom - saved.top;
  return placement;
}

int ProgressFillWidth(int low, int high, int position, int width) {
  // An empty range would divide by zero; there is nothing sensible to show.
  if (high <= low || position < low || position > high || width <= 0) return 0;
  long long percent = (static_cast<long long>(position) - low) * 100 / (static_cast<long long>(high) - low);
  return static_cast<int>(percent * width / 100);
}

LayoutRect OuterFrameRect(const LayoutRect& client) {
  return LayoutRect{client.left, client.top, client.right + 1, client.bottom + 1};
}

LayoutRect InnerFrameRect(const LayoutRect& client) {
  return LayoutRect{client.left + 1, client.top + 1, client.right, client.bottom};
}

LayoutPoint CentredIconOrigin(int button_width, int button_height, int icon_width, int icon_height) {
  return LayoutPoint{(button_width - icon_width) / 2 + 1, (button_height - icon_height) / 2 + 1};
}
