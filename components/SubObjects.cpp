#include "components/SubObjects.h"

#include <stdexcept>

namespace zorvex::widgets {

namespace {

// a * b / c rounded half away from zero, computed wide and kept within +-INT32_MAX so that the
// callers may negate it.
std::int32_t MulDivRound(std::int32_t a, std::int32_t b, std::int32_t c) {
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t half = c / 2;
  const std::int64_t q = product >= 0 ? (product + half) / c : (product - half) / c;
  if (q > INT32_MAX) return INT32_MAX;
  if (q < -INT32_MAX) return -INT32_MAX;
  return static_cast<std::int32_t>(q);
}

}  // namespace

void TStrings::SetText(std::string_view text) {
  Clear();
  for (const std::string& line : SplitLines(text)) Add(line);
}

std::string TStrings::Text() const {
  std::string text;
  for (std::size_t i = 0; i < Count(); ++i) text += Get(i) + "\r\n";
  return text;
}

TPlainTreeNodes::TNode& TPlainTreeNodes::Add(TNode* parent, std::string text) {
  auto& siblings = parent ? parent->Children : roots_;
  siblings.push_back(std::make_unique<TNode>());
  siblings.back()->Text = std::move(text);
  ++count_;
  return *siblings.back();
}

TPlainTreeNodes::TNode& TPlainTreeNodes::At(std::size_t index) const {
  if (index >= count_) throw std::out_of_range("tree node index out of range");
  // Walks each node before its children with an explicit stack, so a deep tree cannot exhaust the call stack.
  std::vector<const std::vector<std::unique_ptr<TNode>>*> lists{&roots_};
  std::vector<std::size_t> positions{0};
  std::size_t seen = 0;
  while (!lists.empty()) {
    if (positions.back() == lists.back()->size()) {
      lists.pop_back();
      positions.pop_back();
      continue;
    }
    TNode& node = *(*lists.back())[positions.back()++];
    if (seen++ == index) return node;
    lists.push_back(&node.Children);
    positions.push_back(0);
  }
  throw std::out_of_range("tree node index out of range");
}

void TPlainListItems::Add(std::string caption, std::vector<std::string> subItems) {
  items_.push_back(Item{std::move(caption), std::move(subItems)});
}

TPlainCollectionItem::TPlainCollectionItem(std::string caption, std::int32_t width)
    : Caption(std::move(caption)), Width(width) {
  DeclareClass("TPlainCollectionItem");
  PublishString("Caption", [this] { return Caption; }, [this](const std::string& s) { Caption = s; });
  PublishInteger("Width", [this] { return Width; }, [this](std::int32_t v) { Width = v; });
}

const TEnumType& FontStyleType() {
  static const TEnumType type{{"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}};
  return type;
}

const TEnumType& FontPitchType() {
  static const TEnumType type{{"fpDefault", "fpVariable", "fpFixed"}};
  return type;
}

TFont::TFont() {
  DeclareClass("TFont");
  PublishString("Name", [this] { return Name; }, [this](const std::string& s) { Name = s; Changed(); });
  PublishInteger("Size", [this] { return Size(); }, [this](std::int32_t v) { SetSize(v); });
  PublishInteger("Height", [this] { return Height; }, [this](std::int32_t v) { Height = v; Changed(); });
  PublishSet("Style", FontStyleType(), [this] { return Style; }, [this](TSetValue v) { Style = v; Changed(); });
  PublishEnum("Pitch", FontPitchType(), [this] { return Pitch; }, [this](int v) { Pitch = v; Changed(); });
  PublishInteger("Color", [this] { return Color; }, [this](std::int32_t v) { Color = v; Changed(); });
  PublishInteger("Charset", [this] { return Charset; }, [this](std::int32_t v) { Charset = v; Changed(); }, 0, 255);
}

std::int32_t TFont::Size() const { return -MulDivRound(Height, 72, kPixelsPerInch); }

void TFont::SetSize(std::int32_t points) {
  Height = -MulDivRound(points, kPixelsPerInch, 72);
  Changed();
}

void TFont::Changed() const {
  if (OnChange) OnChange();
}

}  // namespace zorvex::widgets
