// The dialogs' base TSForm: each new dialog is translated by the program's translator once its
// components exist, and its font face is forced to "arial" before every show. Portable: the template
// sits over any form class with virtual Translate and BeforeShow steps and a published Font; the
// Win32 dialogs use it over the Win32 form (ui/widgets/win32/SForm.h).
#pragma once

#include <functional>
#include <utility>

#include "components/Component.h"
#include "i18n/Translator.h"

namespace zorvex {

// Gives the translator that new dialogs are translated by; may give null.
using TFormTranslatorSource = std::function<TTranslator*()>;

// Sets the process-wide source; an empty one leaves new dialogs with their built-in texts.
void SetFormTranslator(TFormTranslatorSource source);
// The translator that new dialogs are translated by now; null when there is none.
TTranslator* FormTranslator();

// The face name every dialog is shown with.
inline constexpr const char* kDialogFontFace = "arial";

// Applies the form's section of FormTranslator()'s language document to form; nothing without one.
void TranslateDialog(widgets::TComponent& form);
// Sets the Name of the form's published Font to kDialogFontFace; nothing when it publishes none.
void ForceDialogFont(widgets::TPersistent& form);

// The dialog base over a form class (class "TSForm").
template <class TFormBase>
class TSFormOf : public TFormBase {
 public:
  // Makes the form as TFormBase does.
  template <class... Args>
  explicit TSFormOf(Args&&... args) : TFormBase(std::forward<Args>(args)...) {
    this->DeclareClass("TSForm");
  }

 protected:
  // After the base step: translated, before the form's creation handler runs.
  void Translate() override {
    TFormBase::Translate();
    TranslateDialog(*this);
  }
  // The face first, then the base step.
  void BeforeShow() override {
    ForceDialogFont(*this);
    TFormBase::BeforeShow();
  }
};

}  // namespace zorvex
