#include "components/Persistent.h"

#include <algorithm>
#include <stdexcept>

namespace zorvex::widgets {

namespace {

// Folds only A-Z: the texts are single-byte code page bytes, and locale rules would differ per machine.
constexpr std::size_t kShortStringMax = 255;

}  // namespace

int TEnumType::IndexOf(std::string_view name) const {
  for (std::size_t i = 0; i < Names.size(); ++i) {
    if (SameTextAscii(Names[i], name)) return static_cast<int>(i);
  }
  return -1;
}

const TEnumType& BooleanType() {
  static const TEnumType type{{"False", "True"}};
  return type;
}

bool TPropInfo::Writable() const {
  switch (kind_) {
    case PropKind::Integer:
    case PropKind::Enumeration:
    case PropKind::Set:
      return static_cast<bool>(setOrdinal_);
    case PropKind::ShortString:
    case PropKind::LongString:
    case PropKind::WideString:
      return static_cast<bool>(setString_);
    default:
      return false;
  }
}

std::int32_t TPropInfo::GetInteger() const {
  return kind_ == PropKind::Integer && getOrdinal_ ? static_cast<std::int32_t>(getOrdinal_()) : 0;
}

bool TPropInfo::SetInteger(std::int32_t value) const {
  if (kind_ != PropKind::Integer || !setOrdinal_ || value < min_ || value > max_) return false;
  setOrdinal_(value);
  return true;
}

int TPropInfo::GetEnum() const {
  return kind_ == PropKind::Enumeration && getOrdinal_ ? static_cast<int>(getOrdinal_()) : 0;
}

bool TPropInfo::SetEnum(std::int64_t ordinal) const {
  // An ordinal that names no value is refused rather than clamped: a guess would store a value
  // nobody asked for, and the old value is always a valid one.
  if (kind_ != PropKind::Enumeration || !setOrdinal_ || ordinal < 0 || ordinal >= enumType_->Count()) return false;
  setOrdinal_(ordinal);
  return true;
}

std::string TPropInfo::GetString() const {
  const bool isString = kind_ == PropKind::ShortString || kind_ == PropKind::LongString || kind_ == PropKind::WideString;
  return isString && getString_ ? getString_() : std::string();
}

bool TPropInfo::SetString(const std::string& text) const {
  if (!setString_) return false;
  if (kind_ == PropKind::ShortString) {
    setString_(text.substr(0, kShortStringMax));
    return true;
  }
  if (kind_ != PropKind::LongString && kind_ != PropKind::WideString) return false;
  setString_(text);
  return true;
}

TSetValue TPropInfo::GetSet() const {
  return kind_ == PropKind::Set && getOrdinal_ ? static_cast<TSetValue>(getOrdinal_()) : 0;
}

bool TPropInfo::SetSet(TSetValue value) const {
  if (kind_ != PropKind::Set || !setOrdinal_) return false;
  const int count = enumType_->Count();
  const TSetValue valid = count >= 32 ? ~TSetValue{0} : (TSetValue{1} << count) - 1;
  if ((value & ~valid) != 0) return false;
  setOrdinal_(value);
  return true;
}

TPersistent* TPropInfo::SubObject() const {
  return kind_ == PropKind::Object && getObject_ ? getObject_() : nullptr;
}

TPersistent::TPersistent() { DeclareClass("TPersistent"); }

TPersistent::~TPersistent() = default;

bool TPersistent::InheritsFrom(std::string_view className) const {
  return std::find(classNames_.begin(), classNames_.end(), className) != classNames_.end();
}

const TPropInfo* TPersistent::FindProperty(std::string_view name) const {
  for (const TPropInfo& info : properties_) {
    if (SameTextAscii(info.name_, name)) return &info;
  }
  return nullptr;
}

TPropInfo& TPersistent::Add(TPropInfo info) {
  for (TPropInfo& existing : properties_) {
    if (SameTextAscii(existing.name_, info.name_)) return existing = std::move(info);
  }
  properties_.push_back(std::move(info));
  return properties_.back();
}

void TPersistent::PublishInteger(std::string name, std::function<std::int32_t()> get,
                                 std::function<void(std::int32_t)> set, std::int32_t min, std::int32_t max) {
  if (min > max) throw std::invalid_argument("integer property " + name + ": empty range");
  TPropInfo info(std::move(name), PropKind::Integer);
  info.min_ = min;
  info.max_ = max;
  if (get) info.getOrdinal_ = [get = std::move(get)] { return static_cast<std::int64_t>(get()); };
  // SetInteger has checked the range, so the narrowing is exact.
  if (set) info.setOrdinal_ = [set = std::move(set)](std::int64_t v) { set(static_cast<std::int32_t>(v)); };
  Add(std::move(info));
}

void TPersistent::PublishEnum(std::string name, const TEnumType& type, std::function<int()> get,
                              std::function<void(int)> set) {
  TPropInfo info(std::move(name), PropKind::Enumeration);
  info.enumType_ = &type;
  if (get) info.getOrdinal_ = [get = std::move(get)] { return static_cast<std::int64_t>(get()); };
  if (set) info.setOrdinal_ = [set = std::move(set)](std::int64_t v) { set(static_cast<int>(v)); };
  Add(std::move(info));
}

void TPersistent::PublishBoolean(std::string name, std::function<bool()> get, std::function<void(bool)> set) {
  std::function<int()> getOrdinal;
  std::function<void(int)> setOrdinal;
  if (get) getOrdinal = [get = std::move(get)] { return get() ? 1 : 0; };
  if (set) setOrdinal = [set = std::move(set)](int v) { set(v != 0); };
  PublishEnum(std::move(name), BooleanType(), std::move(getOrdinal), std::move(setOrdinal));
}

void TPersistent::PublishString(std::string name, std::function<std::string()> get,
                                std::function<void(const std::string&)> set, PropKind kind) {
  if (kind != PropKind::ShortString && kind != PropKind::LongString && kind != PropKind::WideString) {
    throw std::invalid_argument("string property " + name + ": kind is no string kind");
  }
  TPropInfo info(std::move(name), kind);
  info.getString_ = std::move(get);
  info.setString_ = std::move(set);
  Add(std::move(info));
}

void TPersistent::PublishSet(std::string name, const TEnumType& type, std::function<TSetValue()> get,
                             std::function<void(TSetValue)> set) {
  if (type.Count() > 32) throw std::invalid_argument("set property " + name + ": more than 32 values");
  TPropInfo info(std::move(name), PropKind::Set);
  info.enumType_ = &type;
  if (get) info.getOrdinal_ = [get = std::move(get)] { return static_cast<std::int64_t>(get()); };
  if (set) info.setOrdinal_ = [set = std::move(set)](std::int64_t v) { set(static_cast<TSetValue>(v)); };
  Add(std::move(info));
}

void TPersistent::PublishObject(std::string name, std::function<TPersistent*()> get) {
  TPropInfo info(std::move(name), PropKind::Object);
  info.getObject_ = std::move(get);
  Add(std::move(info));
}

void TPersistent::PublishOther(std::string name) { Add(TPropInfo(std::move(name), PropKind::Other)); }

void TPersistent::AdoptSubObject(std::string name, std::unique_ptr<TPersistent> object) {
  if (!object) throw std::invalid_argument("sub-object " + name + " is null");
  TPersistent* raw = object.get();
  subObjects_.push_back(std::move(object));
  PublishObject(std::move(name), [raw] { return raw; });
}

}  // namespace zorvex::widgets
