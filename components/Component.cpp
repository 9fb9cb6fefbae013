#include "components/Component.h"

#include <stdexcept>

namespace zorvex::widgets {

TComponent::TComponent(std::string name) : name_(std::move(name)) { DeclareClass("TComponent"); }

TComponent::~TComponent() {
  // Later components may refer to earlier ones (a menu to its images), so they go first.
  while (!components_.empty()) components_.pop_back();
}

TComponent& TComponent::Component(std::size_t index) const { return *components_.at(index); }

TComponent* TComponent::FindComponent(std::string_view name) const {
  for (const auto& component : components_) {
    if (SameTextAscii(component->name_, name)) return component.get();
  }
  return nullptr;
}

TComponent& TComponent::Insert(std::unique_ptr<TComponent> component) {
  if (!component) throw std::invalid_argument("cannot own a null component");
  if (component->owner_) throw std::invalid_argument("component " + component->name_ + " already has an owner");
  component->owner_ = this;
  components_.push_back(std::move(component));
  TComponent& ref = *components_.back();
  Inserted(ref);
  return ref;
}

std::unique_ptr<TComponent> TComponent::Remove(TComponent& component) {
  for (auto it = components_.begin(); it != components_.end(); ++it) {
    if (it->get() == &component) {
      std::unique_ptr<TComponent> taken = std::move(*it);
      components_.erase(it);
      taken->owner_ = nullptr;
      return taken;
    }
  }
  return nullptr;
}

TApplication::TApplication() : TComponent("Application") { DeclareClass("TApplication"); }

void TApplication::Inserted(TComponent& component) {
  const std::string base = component.Name();
  if (base.empty()) return;
  const auto taken = [&](const std::string& name) {
    for (std::size_t i = 0; i < ComponentCount(); ++i) {
      const TComponent& other = Component(i);
      if (&other != &component && SameTextAscii(other.Name(), name)) return true;
    }
    return false;
  };
  if (!taken(base)) return;
  // The part before "_" stays the form's name for translation, so every copy finds its section.
  for (std::size_t n = 1;; ++n) {
    std::string candidate = base + "_" + std::to_string(n);
    if (!taken(candidate)) {
      component.SetName(std::move(candidate));
      return;
    }
  }
}

TPlainComponent::TPlainComponent(std::string name) : TComponent(std::move(name)) {
  DeclareClass("TPlainComponent");
  PublishString("Caption", [this] { return Caption; }, [this](const std::string& s) { Caption = s; });
  PublishString("Hint", [this] { return Hint; }, [this](const std::string& s) { Hint = s; });
  PublishBoolean("Enabled", [this] { return Enabled; }, [this](bool b) { Enabled = b; });
  PublishBoolean("Visible", [this] { return Visible; }, [this](bool b) { Visible = b; });
  PublishBoolean("Checked", [this] { return Checked; }, [this](bool b) { Checked = b; });
  PublishInteger(
      "ShortCut", [this] { return static_cast<std::int32_t>(ShortCut); },
      [this](std::int32_t v) { ShortCut = static_cast<std::uint16_t>(v); }, 0, 0xFFFF);
  PublishInteger("Left", [this] { return Left; }, [this](std::int32_t v) { Left = v; });
  PublishInteger("Top", [this] { return Top; }, [this](std::int32_t v) { Top = v; });
  PublishInteger("Width", [this] { return Width; }, [this](std::int32_t v) { Width = v; });
  PublishInteger("Height", [this] { return Height; }, [this](std::int32_t v) { Height = v; });
}

}  // namespace zorvex::widgets
