// Where the progress window starts and how a drag moves it: pure arithmetic,
// kept apart from the hook that feeds it cursor positions.
#ifndef BASTION_UI_DRAG_GEOMETRY_H_
#define BASTION_UI_DRAG_GEOMETRY_H_

namespace bastion {

struct DragPoint {
  long x = 0;
  long y = 0;
};

struct DragRect {
  long left = 0;
  long top = 0;
  long right = 0;
  long bottom = 0;
};

// Left and top of a new window: half the desktop minus half the extents, each
// halving truncating toward zero (the extents are deliberately not the size).
DragPoint InitialWindowOrigin(long desktopWidth, long desktopHeight, long centerWidth,
                              long centerHeight);

// A press starts a drag only strictly inside the window: not on its edge.
bool IsStrictlyInside(const DragRect& window, const DragPoint& cursor);

// The cursor's place inside the window, kept for the whole drag.
DragPoint DragOffset(const DragRect& window, const DragPoint& cursor);

// The window's new left and top for a cursor position during the drag.
DragPoint DraggedOrigin(const DragPoint& cursor, const DragPoint& offset);

}  // namespace bastion

#endif  // BASTION_UI_DRAG_GEOMETRY_H_
