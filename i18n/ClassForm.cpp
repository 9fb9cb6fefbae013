#include "i18n/ClassForm.h"

namespace zorvex {

namespace {

TFormTranslatorSource& Source() {
  static TFormTranslatorSource source;
  return source;
}

}  // namespace

void SetFormTranslator(TFormTranslatorSource source) { Source() = std::move(source); }

TTranslator* FormTranslator() { return Source() ? Source()() : nullptr; }

void TranslateDialog(widgets::TComponent& form) {
  if (TTranslator* translator = FormTranslator()) translator->ApplyToForm(form);
}

void ForceDialogFont(widgets::TPersistent& form) {
  const widgets::TPropInfo* font = form.FindProperty("Font");
  widgets::TPersistent* object = font != nullptr ? font->SubObject() : nullptr;
  const widgets::TPropInfo* name = object != nullptr ? object->FindProperty("Name") : nullptr;
  if (name != nullptr) name->SetString(kDialogFontFace);
}

}  // namespace zorvex
