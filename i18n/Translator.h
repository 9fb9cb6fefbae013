// Applies a language file to forms, components, their properties and sub-objects by name, and to
// named program strings. Nothing here ever reports an error: a language file can only fail to
// change things.
//
// Lifecycle: the translator owns its language document for its whole life; the named strings
// component holds references to program variables that must outlive it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "components/Component.h"
#include "components/SubObjects.h"
#include "xml/SimpleXml.h"

namespace zorvex {

// Class names the translator recognises in an object's ancestry; never translated.
namespace translator_classes {
inline constexpr std::string_view kStrings = "TStrings";
inline constexpr std::string_view kTreeNodes = "TTreeNodes";
inline constexpr std::string_view kListItems = "TListItems";
inline constexpr std::string_view kCollection = "TCollection";
inline constexpr std::string_view kNamedStrings = "TTranslatorStrings";
}  // namespace translator_classes

// Display name of a virtual key that has none of the built-in names; empty when unknown.
using TKeyNameHook = std::function<std::string(int virtualKey)>;

// The shortcut a text names ("Ctrl+Shift+Ins", "^A", "F5"): modifier bits plus a virtual-key code;
// 0 when the key part is empty or names no key. keyName is asked about keys without a built-in name.
std::uint16_t TextToShortCut(std::string_view text, const TKeyNameHook& keyName = {});

// The ordinal an enumeration text gives: a non-zero 32-bit number or "0" as it is, else the index of
// the value name (ASCII case ignored), else 0. The caller's property refuses an ordinal out of range.
std::int64_t TextToEnum(std::string_view text, const widgets::TEnumType& type);

// The set a text such as "[fsBold, fsItalic]" names; nothing when a word names no value.
std::optional<widgets::TSetValue> TextToSet(std::string_view text, const widgets::TEnumType& type);

// Named program strings that a language file may replace (class "TTranslatorStrings").
class TTranslatorStrings : public widgets::TComponent {
 public:
  // One name and the program variable it stands for.
  struct TBinding {
    std::string Name;       // as registered
    std::string* Variable;  // not owned; never null
  };

  // An empty component of class "TTranslatorStrings".
  explicit TTranslatorStrings(std::string name = {});
  // Binds name to variable, which must outlive this component; throws std::invalid_argument for null.
  void RegisterString(std::string name, std::string* variable);
  // The variable bound to name, ASCII case ignored, the latest registration first; null when none.
  std::string* Find(std::string_view name) const;
  // The bindings in registration order.
  const std::vector<TBinding>& Bindings() const { return bindings_; }

 private:
  std::vector<TBinding> bindings_;
};

// Where an error ended a piece of translation work; each kind is counted, then dropped.
enum class TTranslatorGuard { Load, Component, Attribute, ChildProperty };

// Holds the last loaded language document and applies it (class "TTranslator").
class TTranslator : public widgets::TComponent {
 public:
  // A translator with an empty document.
  explicit TTranslator(std::string name = {});
  // Frees the document.
  ~TTranslator() override;

  // The language document; empty until a file loads, then replaced only by a file that loads whole.
  TSimpleXml& Document() { return *document_; }
  // Asked for the display names of keys outside the built-in list; the Windows layer sets it.
  TKeyNameHook KeyName;

  // Loads a language file (UTF-8, or an older one in the system's code page) and applies its root to
  // the application object; never fails.
  void LoadLanguage(const std::string& path);
  // Applies the document's section for form, named like the form up to its first "_".
  void ApplyToForm(widgets::TComponent& form);
  // Applies element to component: its attributes, then its children as owned components or sub-objects.
  virtual void ApplyToComponent(widgets::TComponent& component, TSimpleXmlElem& element);

  // The application object: the top of this translator's owner chain, which owns the forms.
  widgets::TComponent& ApplicationObject();
  // How many errors a guard of this kind has dropped so far.
  std::size_t DroppedErrors(TTranslatorGuard kind) const { return dropped_[static_cast<std::size_t>(kind)]; }
  // True when object is not null and its class or an ancestor is named exactly className.
  static bool IsKindOf(const widgets::TPersistent* object, std::string_view className);

 protected:
  // Sets the integer, enumeration, string and set properties named by the attributes; null object: nothing.
  void ApplyAttributes(widgets::TPersistent* object, TSimpleXmlElem& element);
  // Sets properties named by child elements from their text, or recurses into sub-objects; collections by Index.
  void ApplyChildProperties(widgets::TPersistent* object, TSimpleXmlElem& element);
  // Applies each child with a valid Index to that item.
  void ApplyCollection(widgets::TCollection* collection, TSimpleXmlElem& element);
  // Replaces all lines from a leading CDATA section, else lines by Index and Value.
  void ApplyStringList(widgets::TStrings* list, TSimpleXmlElem& element);
  // Sets node texts by Index over the whole tree and Value.
  void ApplyTreeNodes(widgets::TTreeNodes* nodes, TSimpleXmlElem& element);
  // Sets item captions (Column 0) or sub-item texts (Column n) by Index and Value.
  void ApplyListItems(widgets::TListItems* items, TSimpleXmlElem& element);
  // Sets the variables bound to each child's Name to its Value, every "\n" made CR LF.
  void ApplyNamedStrings(TTranslatorStrings* strings, TSimpleXmlElem& element);

 private:
  enum class Source { Attribute, ChildText };
  // Converts text to the property's kind as the source allows and stores it.
  void SetFromText(const widgets::TPropInfo& prop, const std::string& text, Source source);
  // Applies a child element to the sub-object of an object property, by the sub-object's kind.
  void ApplySubObject(widgets::TPersistent& object, TSimpleXmlElem& element);
  // Runs step; an error ends that step only and is counted and dropped here, nowhere else.
  template <class Step>
  void Guarded(TTranslatorGuard kind, Step&& step);

  std::unique_ptr<TSimpleXml> document_;
  std::array<std::size_t, 4> dropped_{};
};

}  // namespace zorvex
