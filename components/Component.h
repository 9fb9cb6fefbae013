// Named components that own the components created on them, the application object that owns the
// forms, and a plain component with the usual control properties.
//
// Lifecycle: an owner holds its components through unique_ptr and destroys them, last created
// first, when it goes; Remove hands one back to the caller.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "components/Persistent.h"

namespace zorvex::widgets {

// A named object that may own other components, in creation order.
class TComponent : public TPersistent {
 public:
  // A component of class "TComponent" with the given name and no owner.
  explicit TComponent(std::string name = {});
  // Destroys the owned components, the last created first.
  ~TComponent() override;

  // The component name; not a published property, so no language file can rename a component.
  const std::string& Name() const { return name_; }
  // Renames the component.
  void SetName(std::string name) { name_ = std::move(name); }
  // The component that owns this one; null for a top-level one.
  TComponent* Owner() const { return owner_; }

  // Number of owned components.
  std::size_t ComponentCount() const { return components_.size(); }
  // The owned component at a 0-based position; throws std::out_of_range outside the list.
  TComponent& Component(std::size_t index) const;
  // The first owned component whose name equals name, ASCII case ignored; null when none.
  TComponent* FindComponent(std::string_view name) const;

  // Makes a T from args, appends it to the owned components, then runs its Loaded; returns it.
  template <class T, class... Args>
  T& Create(Args&&... args) {
    auto component = std::make_unique<T>(std::forward<Args>(args)...);
    T& ref = *component;
    Insert(std::move(component));
    static_cast<TComponent&>(ref).Loaded();
    return ref;
  }
  // Takes ownership of a component that has no owner; throws std::invalid_argument for null or an owned one.
  TComponent& Insert(std::unique_ptr<TComponent> component);
  // Hands an owned component back to the caller; null when component is not owned here.
  std::unique_ptr<TComponent> Remove(TComponent& component);

 protected:
  // Runs once, through Create, after the component has joined its owner: forms translate themselves here.
  virtual void Loaded() {}
  // Runs when component has just joined this owner's list.
  virtual void Inserted(TComponent& component) { (void)component; }

 private:
  std::string name_;
  TComponent* owner_ = nullptr;
  std::vector<std::unique_ptr<TComponent>> components_;
};

// The application object: it owns the forms, and a language file's root element stands for it.
class TApplication : public TComponent {
 public:
  // An application object named "Application" with no forms.
  TApplication();

 protected:
  // A form whose name is taken (ASCII case ignored) is renamed name_N with the smallest free N >= 1.
  void Inserted(TComponent& component) override;
};

// A component with the usual control properties kept in plain fields; for non-visual parts
// (actions, menu items) and for building forms in tests.
class TPlainComponent : public TComponent {
 public:
  // A component of class "TPlainComponent" publishing the fields below under their own names.
  explicit TPlainComponent(std::string name = {});

  // Long strings.
  std::string Caption;
  std::string Hint;
  // Booleans.
  bool Enabled = true;
  bool Visible = true;
  bool Checked = false;
  // Integer 0..0xFFFF: modifier bits 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt, plus a virtual-key code.
  std::uint16_t ShortCut = 0;
  // Integers, in pixels.
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
};

}  // namespace zorvex::widgets
