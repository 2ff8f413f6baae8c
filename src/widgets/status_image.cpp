#include "widgets/status_image.h"

#include <algorithm>
#include <utility>

namespace lumarex {

namespace {

using Kind = StatusOperation::Kind;

bool SameShape(const StatusOperation& a, const StatusOperation& b) {
  if (a.kind != b.kind) return false;
  if (a.kind == Kind::kText) return a.x1 == b.x1 && a.y1 == b.y1;
  return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2;
}

bool Inside(int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return x >= std::min(left, right) && x <= std::max(left, right) && y >= std::min(top, bottom) &&
         y <= std::max(top, bottom);
}

// Whether an opaque area covers an earlier operation completely. A text counts by its top
// left corner: its writers pad it to overwrite what stood there.
bool Covers(const StatusOperation& area, const StatusOperation& old) {
  const auto in = [&](int32_t x, int32_t y) {
    return Inside(x, y, area.x1, area.y1, area.x2, area.y2);
  };
  if (old.kind == Kind::kText) return in(old.x1, old.y1);
  if (old.kind == Kind::kFill) return false;
  return in(old.x1, old.y1) && in(old.x2, old.y2);
}

}  // namespace

void StatusImage::Append(StatusOperation operation) {
  if (operation.kind == Kind::kFill) {
    operations_.clear();
  } else if (operation.kind == Kind::kFilledRectangle) {
    std::erase_if(operations_, [&](const StatusOperation& old) { return Covers(operation, old); });
  } else {
    std::erase_if(operations_,
                  [&](const StatusOperation& old) { return SameShape(operation, old); });
  }
  operations_.push_back(std::move(operation));
  ++revision_;
  NotifyView();
}

void StatusImage::Fill(uint32_t colour) {
  StatusOperation op;
  op.kind = Kind::kFill;
  op.x2 = width_;
  op.y2 = height_;
  op.colour = colour;
  Append(std::move(op));
}

void StatusImage::TextOut(int32_t x, int32_t y, std::string_view text) {
  StatusOperation op;
  op.kind = Kind::kText;
  op.x1 = x;
  op.y1 = y;
  op.colour = FontColour;
  op.background = BrushColour;
  op.text = std::string(text);
  Append(std::move(op));
}

void StatusImage::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  Append({Kind::kLine, x1, y1, x2, y2, PenColour, BrushColour, {}});
}

void StatusImage::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  Append({Kind::kRectangle, left, top, right, bottom, PenColour, BrushColour, {}});
}

void StatusImage::FillRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  Append({Kind::kFilledRectangle, left, top, right, bottom, BrushColour, BrushColour, {}});
}

std::string StatusImage::TextAt(int32_t x, int32_t y) const {
  for (const StatusOperation& op : operations_) {
    if (op.kind == Kind::kText && op.x1 == x && op.y1 == y) return op.text;
  }
  return {};
}

bool StatusImage::HasTextAt(int32_t x, int32_t y) const {
  return std::any_of(operations_.begin(), operations_.end(), [&](const StatusOperation& op) {
    return op.kind == Kind::kText && op.x1 == x && op.y1 == y;
  });
}

}  // namespace lumarex
