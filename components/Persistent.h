// The reflection that the translator works on: objects that know their class ancestry and publish
// named, typed properties through getter and setter functions. Portable; the Win32 controls
// publish their properties over real windows with the same calls.
//
// Lifecycle: properties capture the object that publishes them, so a TPersistent neither copies
// nor moves; sub-objects published with PublishOwned live exactly as long as their holder.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Text.h"

namespace zorvex::widgets {


// What a published property holds; Other stands for every kind the translator never sets.
enum class PropKind { Integer, Enumeration, ShortString, LongString, WideString, Set, Object, Other };

// The value names of an enumeration; a name's position is its ordinal.
struct TEnumType {
  std::vector<std::string> Names;  // value names by ordinal

  // Number of values.
  int Count() const { return static_cast<int>(Names.size()); }
  // The ordinal of the value named name, ASCII case ignored; -1 when none has that name.
  int IndexOf(std::string_view name) const;
};

// False (0) and True (1).
const TEnumType& BooleanType();

// A set of an enumeration's values: bit n stands for ordinal n, so an enumeration of a set has at most 32 values.
using TSetValue = std::uint32_t;

class TPersistent;

// One published property. Setters refuse values the property cannot hold and then change nothing.
class TPropInfo {
 public:
  // The name as published (the one the ShortCut rule compares exactly).
  const std::string& Name() const { return name_; }
  // The property's kind.
  PropKind Kind() const { return kind_; }
  // The value names of an enumeration or set property; null for every other kind.
  const TEnumType* EnumType() const { return enumType_; }
  // True when the property has a setter.
  bool Writable() const;
  // Smallest value an integer property accepts.
  std::int32_t MinValue() const { return min_; }
  // Largest value an integer property accepts.
  std::int32_t MaxValue() const { return max_; }

  // An integer property's value; 0 for other kinds.
  std::int32_t GetInteger() const;
  // Stores value in an integer property; false, changing nothing, outside MinValue..MaxValue or for another kind.
  bool SetInteger(std::int32_t value) const;
  // An enumeration property's ordinal; 0 for other kinds.
  int GetEnum() const;
  // Stores an ordinal; false, changing nothing, when it names no value of the enumeration or for another kind.
  bool SetEnum(std::int64_t ordinal) const;
  // A string property's text; empty for other kinds.
  std::string GetString() const;
  // Stores a text in a string property (a short string keeps its first 255 bytes); false for other kinds.
  bool SetString(const std::string& text) const;
  // A set property's value; 0 for other kinds.
  TSetValue GetSet() const;
  // Stores a set; false, changing nothing, when it holds a bit beyond the enumeration or for another kind.
  bool SetSet(TSetValue value) const;
  // The sub-object an object property holds, possibly none; null for other kinds.
  TPersistent* SubObject() const;

 private:
  friend class TPersistent;
  TPropInfo(std::string name, PropKind kind) : name_(std::move(name)), kind_(kind) {}

  std::string name_;
  PropKind kind_;
  const TEnumType* enumType_ = nullptr;
  std::int32_t min_ = std::numeric_limits<std::int32_t>::min();
  std::int32_t max_ = std::numeric_limits<std::int32_t>::max();
  // Integer, enumeration and set values travel as one ordinal; the publishers narrow them.
  std::function<std::int64_t()> getOrdinal_;
  std::function<void(std::int64_t)> setOrdinal_;
  std::function<std::string()> getString_;
  std::function<void(const std::string&)> setString_;
  std::function<TPersistent*()> getObject_;
};

// An object with a class ancestry and published properties.
class TPersistent {
 public:
  // An object of class "TPersistent" with no properties.
  TPersistent();
  // Destroys the owned sub-objects.
  virtual ~TPersistent();
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;

  // The most derived declared class name.
  const std::string& ClassName() const { return classNames_.back(); }
  // Every declared class name, the root class first and this object's own class last.
  const std::vector<std::string>& ClassNames() const { return classNames_; }
  // True when the class or one of its ancestors is named exactly className (letter case counts).
  bool InheritsFrom(std::string_view className) const;

  // The property published under name, ASCII case ignored; null when there is none.
  const TPropInfo* FindProperty(std::string_view name) const;
  // Every published property in publishing order.
  const std::vector<TPropInfo>& Properties() const { return properties_; }

  // Publishes an integer property that accepts min..max; set is null for a read-only property.
  void PublishInteger(std::string name, std::function<std::int32_t()> get, std::function<void(std::int32_t)> set,
                      std::int32_t min = std::numeric_limits<std::int32_t>::min(),
                      std::int32_t max = std::numeric_limits<std::int32_t>::max());
  // Publishes an enumeration property; set only ever receives an ordinal of type, which must outlive this object.
  void PublishEnum(std::string name, const TEnumType& type, std::function<int()> get, std::function<void(int)> set);
  // Publishes a Boolean, an enumeration of False and True.
  void PublishBoolean(std::string name, std::function<bool()> get, std::function<void(bool)> set);
  // Publishes a string property of kind ShortString, LongString or WideString (std::invalid_argument otherwise).
  void PublishString(std::string name, std::function<std::string()> get, std::function<void(const std::string&)> set,
                     PropKind kind = PropKind::LongString);
  // Publishes a set of type's values (at most 32); set only ever receives bits of those values.
  void PublishSet(std::string name, const TEnumType& type, std::function<TSetValue()> get,
                  std::function<void(TSetValue)> set);
  // Publishes an object property; get may give null when there is no sub-object.
  void PublishObject(std::string name, std::function<TPersistent*()> get);
  // Publishes a property of a kind the translator passes over (events, floating point, ...).
  void PublishOther(std::string name);
  // Takes ownership of a sub-object and publishes it as an object property; returns it.
  template <class T>
  T& PublishOwned(std::string name, std::unique_ptr<T> object) {
    T& ref = *object;
    AdoptSubObject(std::move(name), std::move(object));
    return ref;
  }

 protected:
  // Appends the name of a derived class; each constructor in the chain declares its own.
  void DeclareClass(std::string name) { classNames_.push_back(std::move(name)); }

 private:
  // Adds the property, replacing one of the same name (ASCII case ignored) so that derived classes can override.
  TPropInfo& Add(TPropInfo info);
  void AdoptSubObject(std::string name, std::unique_ptr<TPersistent> object);

  std::vector<std::string> classNames_;
  std::vector<TPropInfo> properties_;
  std::vector<std::unique_ptr<TPersistent>> subObjects_;
};

}  // namespace zorvex::widgets
