#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "widgets/control.h"

namespace lumarex {

// Colours as 0xRRGGBB.
inline constexpr uint32_t kColourBlack = 0x000000;
inline constexpr uint32_t kColourWhite = 0xFFFFFF;
inline constexpr uint32_t kColourGrey = 0x808080;
inline constexpr uint32_t kColourSilver = 0xC0C0C0;
inline constexpr uint32_t kColourRed = 0xFF0000;
inline constexpr uint32_t kColourGreen = 0x008000;
inline constexpr uint32_t kColourBlue = 0x0000FF;
inline constexpr uint32_t kColourYellow = 0xFFFF00;

struct StatusOperation {
  enum class Kind : uint8_t {
    kFill,             // the whole image in `colour`
    kText,             // `text` with its top left at (x1, y1), `colour` on `background`
    kLine,             // from (x1, y1) to (x2, y2) in `colour`
    kRectangle,        // outline from (x1, y1) to (x2, y2), exclusive like the canvas' own
    kFilledRectangle,  // area from (x1, y1) to (x2, y2) in `colour`
  };

  Kind kind = Kind::kFill;
  int32_t x1 = 0;
  int32_t y1 = 0;
  int32_t x2 = 0;
  int32_t y2 = 0;
  uint32_t colour = kColourBlack;
  uint32_t background = kColourGrey;
  std::string text;

  friend bool operator==(const StatusOperation&, const StatusOperation&) = default;
};

// A grey status picture that the program writes texts and lines on, as on a canvas. It keeps
// the drawing operations in order so that the view paints them and tests read them back.
// The list stays as short as the picture's content: a fill drops everything before it, a
// filled rectangle drops what lay wholly inside it, a text replaces the text that started at
// the same place, and a line or rectangle replaces one with the same corners. Texts are
// padded with blanks by their writers precisely so that they overwrite the previous text.
class StatusImage final : public Control {
 public:
  StatusImage(int32_t width, int32_t height) : width_(width), height_(height) {}

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }

  // The canvas' pens: lines and outlines in PenColour, fills and text backgrounds in
  // BrushColour, texts in FontColour.
  uint32_t PenColour = kColourBlack;
  uint32_t BrushColour = kColourGrey;
  uint32_t FontColour = kColourBlack;

  void Fill(uint32_t colour);
  void TextOut(int32_t x, int32_t y, std::string_view text);
  void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
  void FillRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);

  // The text that stands with its top left at (x, y); empty when there is none.
  std::string TextAt(int32_t x, int32_t y) const;
  bool HasTextAt(int32_t x, int32_t y) const;
  const std::vector<StatusOperation>& Operations() const { return operations_; }
  // Counts every drawing operation, so a view can tell that it must repaint.
  uint64_t Revision() const { return revision_; }

 private:
  void Append(StatusOperation operation);

  int32_t width_;
  int32_t height_;
  std::vector<StatusOperation> operations_;
  uint64_t revision_ = 0;
};

}  // namespace lumarex
