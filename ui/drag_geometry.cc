#include "ui/drag_geometry.h"

namespace bastion {

DragPoint InitialWindowOrigin(long desktopWidth, long desktopHeight, long centerWidth,
                              long centerHeight) {
  return {desktopWidth / 2 - centerWidth / 2, desktopHeight / 2 - centerHeight / 2};
}

bool IsStrictlyInside(const DragRect& window, const DragPoint& cursor) {
  return window.left < cursor.x && cursor.x < window.right && window.top < cursor.y &&
         cursor.y < window.bottom;
}

DragPoint DragOffset(const DragRect& window, const DragPoint& cursor) {
  return {cursor.x - window.left, cursor.y - window.top};
}

DragPoint DraggedOrigin(const DragPoint& cursor, const DragPoint& offset) {
  return {cursor.x - offset.x, cursor.y - offset.y};
}

}  // namespace bastion
