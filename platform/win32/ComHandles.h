// Owners for what COM hands out: interface references, VARIANTs and BSTRs. Move-only, like the
// handle owners; put() frees the old value and hands out the address for an out-parameter.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <utility>
#include <vector>

#include "platform/win32/LateLinks.h"

namespace zorvex::win32 {

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() {
    reset();
    return &p_;
  }
  void reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }

 private:
  T* p_ = nullptr;
};

class UniqueVariant {
 public:
  UniqueVariant() { late::VariantInit(&v_); }
  ~UniqueVariant() { late::VariantClear(&v_); }
  UniqueVariant(UniqueVariant&& other) noexcept : v_(other.v_) { late::VariantInit(&other.v_); }
  UniqueVariant& operator=(UniqueVariant&&) = delete;
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  const VARIANT& get() const { return v_; }
  VARIANT* put() {
    late::VariantClear(&v_);
    return &v_;
  }

 private:
  VARIANT v_;
};

// An array of VARIANTs for calls that fill one, each cleared when the array goes.
class UniqueVariants {
 public:
  explicit UniqueVariants(std::size_t count) : v_(count) {
    for (VARIANT& v : v_) late::VariantInit(&v);
  }
  ~UniqueVariants() {
    for (VARIANT& v : v_) late::VariantClear(&v);
  }
  UniqueVariants(const UniqueVariants&) = delete;
  UniqueVariants& operator=(const UniqueVariants&) = delete;

  VARIANT* data() { return v_.data(); }
  const VARIANT& operator[](std::size_t i) const { return v_[i]; }

 private:
  std::vector<VARIANT> v_;
};

class UniqueBstr {
 public:
  UniqueBstr() = default;
  ~UniqueBstr() { late::SysFreeString(b_); }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;

  BSTR get() const { return b_; }
  BSTR* put() {
    late::SysFreeString(std::exchange(b_, nullptr));
    return &b_;
  }

 private:
  BSTR b_ = nullptr;
};

}  // namespace zorvex::win32
