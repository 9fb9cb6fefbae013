#include "i18n/Translator.h"

#include <limits>
#include <stdexcept>

#include "base/Trace.h"
#include "i18n/TextFiles.h"

namespace zorvex {

using widgets::PropKind;
using widgets::TComponent;
using widgets::TPersistent;
using widgets::TPropInfo;

namespace {

constexpr std::int64_t kNoIndex = std::numeric_limits<std::int32_t>::max();

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// -1 when the text is no integer, like AsInt.
std::int64_t TextToInt(std::string_view text) {
  std::int64_t value = 0;
  return TryAsInt(text, value) ? value : -1;
}

// The low 32 bits, as the property stores them.
std::int32_t Low32(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

// Properties take only the first "\n" as a line break: older language files rely on the second staying.
std::string FirstLineBreak(std::string text) {
  const std::size_t at = text.find("\\n");
  if (at != std::string::npos) text.replace(at, 2, "\r\n");
  return text;
}

std::string AllLineBreaks(std::string text) {
  for (std::size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at + 2)) {
    text.replace(at, 2, "\r\n");
  }
  return text;
}

bool IsSetBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct NamedKey {
  const char* name;
  int virtualKey;
};

// The names menus show for these keys; everything else goes through the key-name hook.
constexpr NamedKey kKeyNames[] = {
    {"BkSp", 0x08}, {"Tab", 0x09},  {"Enter", 0x0D}, {"Esc", 0x1B},   {"Space", 0x20},
    {"PgUp", 0x21}, {"PgDn", 0x22}, {"End", 0x23},   {"Home", 0x24},  {"Left", 0x25},
    {"Up", 0x26},   {"Right", 0x27}, {"Down", 0x28}, {"Ins", 0x2D},   {"Del", 0x2E},
};

// The virtual key of a built-in key name, or 0.
int BuiltInKey(std::string_view name) {
  for (const NamedKey& key : kKeyNames) {
    if (SameTextAscii(name, key.name)) return key.virtualKey;
  }
  if (name.size() == 1) {
    const char c = name[0];
    if (IsDigit(c)) return c;  // the main keyboard's digit keys have their character codes
    if (c >= 'A' && c <= 'Z') return c;
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
  }
  if ((name.size() == 2 || name.size() == 3) && (name[0] == 'F' || name[0] == 'f') && name[1] >= '1' &&
      name[1] <= '9') {
    const int n = name.size() == 2 ? name[1] - '0' : IsDigit(name[2]) ? (name[1] - '0') * 10 + (name[2] - '0') : 0;
    if (n >= 1 && n <= 24) return 0x70 + n - 1;
  }
  return 0;
}

bool HasBuiltInName(int virtualKey) {
  for (const NamedKey& key : kKeyNames) {
    if (key.virtualKey == virtualKey) return true;
  }
  return (virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z') ||
         (virtualKey >= 0x70 && virtualKey <= 0x87);
}

}  // namespace

std::uint16_t TextToShortCut(std::string_view text, const TKeyNameHook& keyName) {
  // A repeated modifier is the same modifier: or-ing keeps "Ctrl+Ctrl+A" from turning into Alt.
  unsigned modifiers = 0;
  for (;;) {
    if (StartsWithNoCase(text, "Shift+")) {
      modifiers |= 0x2000;
      text.remove_prefix(6);
    } else if (StartsWithNoCase(text, "Ctrl+")) {
      modifiers |= 0x4000;
      text.remove_prefix(5);
    } else if (StartsWithNoCase(text, "^")) {
      modifiers |= 0x4000;
      text.remove_prefix(1);
    } else if (StartsWithNoCase(text, "Alt+")) {
      modifiers |= 0x8000;
      text.remove_prefix(4);
    } else {
      break;
    }
  }
  if (text.empty()) return 0;
  int key = BuiltInKey(text);
  for (int vk = 1; key == 0 && keyName && vk <= 0xFF; ++vk) {
    if (HasBuiltInName(vk)) continue;
    const std::string name = keyName(vk);
    if (!name.empty() && SameTextAscii(name, text)) key = vk;
  }
  return key == 0 ? 0 : static_cast<std::uint16_t>(modifiers | static_cast<unsigned>(key));
}

std::int64_t TextToEnum(std::string_view text, const widgets::TEnumType& type) {
  std::int64_t number = 0;
  const bool isNumber = TryAsInt(text, number) && number >= std::numeric_limits<std::int32_t>::min() &&
                        number <= std::numeric_limits<std::int32_t>::max();
  if ((isNumber && number != 0) || text == "0") return isNumber ? number : 0;
  const int index = type.IndexOf(text);
  return index < 0 ? 0 : index;
}

std::optional<widgets::TSetValue> TextToSet(std::string_view text, const widgets::TEnumType& type) {
  std::size_t i = 0;
  while (i < text.size() && (IsSetBlank(text[i]) || text[i] == '[')) ++i;
  widgets::TSetValue value = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    while (i < text.size() && !IsSetBlank(text[i]) && text[i] != ',' && text[i] != ']') ++i;
    if (i > start) {
      const int index = type.IndexOf(text.substr(start, i - start));
      if (index < 0 || index >= 32) return std::nullopt;
      value |= widgets::TSetValue{1} << index;
    }
    if (i < text.size()) ++i;
  }
  return value;
}

TTranslatorStrings::TTranslatorStrings(std::string name) : TComponent(std::move(name)) {
  DeclareClass(std::string(translator_classes::kNamedStrings));
}

void TTranslatorStrings::RegisterString(std::string name, std::string* variable) {
  if (!variable) throw std::invalid_argument("named string " + name + " bound to no variable");
  bindings_.push_back(TBinding{std::move(name), variable});
}

std::string* TTranslatorStrings::Find(std::string_view name) const {
  for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
    if (SameTextAscii(it->Name, name)) return it->Variable;
  }
  return nullptr;
}

TTranslator::TTranslator(std::string name) : TComponent(std::move(name)), document_(std::make_unique<TSimpleXml>()) {
  DeclareClass("TTranslator");
}

TTranslator::~TTranslator() = default;

template <class Step>
void TTranslator::Guarded(TTranslatorGuard kind, Step&& step) {
  try {
    step();
  } catch (...) {
    // The one place where translation errors end: a language file never reaches the user with an
    // error, it only fails to change what it could not.
    TraceCurrentFailure("translator");
    ++dropped_[static_cast<std::size_t>(kind)];
  }
}

TComponent& TTranslator::ApplicationObject() {
  TComponent* top = this;
  while (top->Owner()) top = top->Owner();
  return *top;
}

bool TTranslator::IsKindOf(const TPersistent* object, std::string_view className) {
  return object && object->InheritsFrom(className);
}

void TTranslator::LoadLanguage(const std::string& path) {
  Guarded(TTranslatorGuard::Load, [&] {
    // A file that fails to parse must not leave half of itself behind for later dialogs: it is
    // read into a document of its own, which replaces the current one only when it loads whole.
    auto next = std::make_unique<TSimpleXml>();
    LoadXmlFile(*next, path);
    document_ = std::move(next);
    ApplyToComponent(ApplicationObject(), document_->Root());
  });
}

void TTranslator::ApplyToForm(TComponent& form) {
  const std::string& name = form.Name();
  const std::string key = name.substr(0, name.find('_'));
  // An empty key would find the root's text and comment children, which address nothing.
  if (key.empty()) return;
  if (TSimpleXmlElem* section = document_->Root().Elems().Find(key)) ApplyToComponent(form, *section);
}

void TTranslator::ApplyToComponent(TComponent& component, TSimpleXmlElem& element) {
  if (IsKindOf(&component, translator_classes::kNamedStrings)) {
    ApplyNamedStrings(dynamic_cast<TTranslatorStrings*>(&component), element);
    return;
  }
  Guarded(TTranslatorGuard::Component, [&] {
    ApplyAttributes(&component, element);
    TSimpleXmlElems& children = element.Elems();
    for (std::size_t i = 0; i < children.Count(); ++i) {
      TSimpleXmlElem& child = *children.Item(i);
      // Only owned components are searched: a form owns every control, whatever its visual parent.
      if (TComponent* owned = component.FindComponent(child.Name())) {
        ApplyToComponent(*owned, child);
        continue;
      }
      const TPropInfo* prop = component.FindProperty(child.Name());
      if (!prop || prop->Kind() != PropKind::Object) continue;
      if (TPersistent* sub = prop->SubObject()) ApplySubObject(*sub, child);
    }
  });
}

void TTranslator::ApplySubObject(TPersistent& object, TSimpleXmlElem& element) {
  if (IsKindOf(&object, translator_classes::kStrings)) {
    ApplyStringList(dynamic_cast<widgets::TStrings*>(&object), element);
  } else if (IsKindOf(&object, translator_classes::kTreeNodes)) {
    ApplyTreeNodes(dynamic_cast<widgets::TTreeNodes*>(&object), element);
  } else if (IsKindOf(&object, translator_classes::kListItems)) {
    ApplyListItems(dynamic_cast<widgets::TListItems*>(&object), element);
  } else {
    ApplyAttributes(&object, element);
    ApplyChildProperties(&object, element);
  }
}

void TTranslator::ApplyAttributes(TPersistent* object, TSimpleXmlElem& element) {
  if (!object) return;
  TSimpleXmlProps& attributes = element.Props();
  for (std::size_t i = 0; i < attributes.Count(); ++i) {
    Guarded(TTranslatorGuard::Attribute, [&] {
      const TSimpleXmlProp& attribute = attributes.Item(i);
      const TPropInfo* prop = object->FindProperty(attribute.Name());
      if (!prop || prop->Kind() == PropKind::Object || prop->Kind() == PropKind::Other) return;
      SetFromText(*prop, attribute.Value, Source::Attribute);
    });
  }
}

void TTranslator::ApplyChildProperties(TPersistent* object, TSimpleXmlElem& element) {
  if (!object) return;
  if (IsKindOf(object, translator_classes::kCollection)) {
    ApplyCollection(dynamic_cast<widgets::TCollection*>(object), element);
    return;
  }
  TSimpleXmlElems& children = element.Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    Guarded(TTranslatorGuard::ChildProperty, [&] {
      TSimpleXmlElem& child = *children.Item(i);
      const TPropInfo* prop = object->FindProperty(child.Name());
      if (!prop || prop->Kind() == PropKind::WideString || prop->Kind() == PropKind::Other) return;
      if (prop->Kind() == PropKind::Object) {
        TPersistent* sub = prop->SubObject();
        ApplyAttributes(sub, child);
        ApplyChildProperties(sub, child);
        return;
      }
      SetFromText(*prop, child.Value, Source::ChildText);
    });
  }
}

void TTranslator::ApplyCollection(widgets::TCollection* collection, TSimpleXmlElem& element) {
  if (!collection) return;
  TSimpleXmlElems& children = element.Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    TSimpleXmlElem& child = *children.Item(i);
    const std::int64_t index = child.Props().ReadInt("Index", -1);
    if (index < 0 || static_cast<std::uint64_t>(index) >= collection->Count()) continue;
    widgets::TCollectionItem& item = collection->Item(static_cast<std::size_t>(index));
    ApplyAttributes(&item, child);
    ApplyChildProperties(&item, child);
  }
}

void TTranslator::ApplyStringList(widgets::TStrings* list, TSimpleXmlElem& element) {
  if (!list) return;
  TSimpleXmlElems& children = element.Elems();
  if (children.Count() > 0 && dynamic_cast<TSimpleXmlElemCData*>(children.Item(0))) {
    list->SetText(children.Item(0)->Value);
    return;
  }
  for (std::size_t i = 0; i < children.Count(); ++i) {
    TSimpleXmlProps& attributes = children.Item(i)->Props();
    const std::int64_t index = attributes.ReadInt("Index", kNoIndex);
    // Lines are replaced, never added: a language file cannot grow a list.
    if (index < 0 || static_cast<std::uint64_t>(index) >= list->Count()) continue;
    list->Put(static_cast<std::size_t>(index), attributes.ReadText("Value", ""));
  }
}

void TTranslator::ApplyTreeNodes(widgets::TTreeNodes* nodes, TSimpleXmlElem& element) {
  if (!nodes) return;
  TSimpleXmlElems& children = element.Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    TSimpleXmlProps& attributes = children.Item(i)->Props();
    const std::int64_t index = attributes.ReadInt("Index", kNoIndex);
    if (index < 0 || static_cast<std::uint64_t>(index) >= nodes->Count()) continue;
    nodes->SetText(static_cast<std::size_t>(index), attributes.ReadText("Value", ""));
  }
}

void TTranslator::ApplyListItems(widgets::TListItems* items, TSimpleXmlElem& element) {
  if (!items) return;
  TSimpleXmlElems& children = element.Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    TSimpleXmlProps& attributes = children.Item(i)->Props();
    const std::int64_t index = attributes.ReadInt("Index", kNoIndex);
    if (index < 0 || static_cast<std::uint64_t>(index) >= items->Count()) continue;
    const auto item = static_cast<std::size_t>(index);
    const std::int64_t column = attributes.ReadInt("Column", kNoIndex);
    if (column == 0) {
      items->SetCaption(item, attributes.ReadText("Value", ""));
    } else if (column >= 1 && static_cast<std::uint64_t>(column) <= items->SubItemCount(item)) {
      items->SetSubItem(item, static_cast<std::size_t>(column - 1), attributes.ReadText("Value", ""));
    }
  }
}

void TTranslator::ApplyNamedStrings(TTranslatorStrings* strings, TSimpleXmlElem& element) {
  if (!strings) return;
  TSimpleXmlElems& children = element.Elems();
  for (std::size_t i = 0; i < children.Count(); ++i) {
    TSimpleXmlProps& attributes = children.Item(i)->Props();
    if (std::string* variable = strings->Find(attributes.ReadText("Name", ""))) {
      *variable = AllLineBreaks(attributes.ReadText("Value", ""));
    }
  }
}

void TTranslator::SetFromText(const TPropInfo& prop, const std::string& text, Source source) {
  switch (prop.Kind()) {
    case PropKind::Integer:
      if (source == Source::Attribute && prop.Name() == "ShortCut") {
        prop.SetInteger(TextToShortCut(text, KeyName));
      } else {
        prop.SetInteger(Low32(TextToInt(text)));
      }
      break;
    case PropKind::Enumeration:
      prop.SetEnum(TextToEnum(text, *prop.EnumType()));
      break;
    case PropKind::ShortString:
    case PropKind::LongString:
    case PropKind::WideString:
      prop.SetString(FirstLineBreak(text));
      break;
    case PropKind::Set:
      if (const auto value = TextToSet(text, *prop.EnumType())) prop.SetSet(*value);
      break;
    case PropKind::Object:
    case PropKind::Other:
      break;
  }
}

}  // namespace zorvex
