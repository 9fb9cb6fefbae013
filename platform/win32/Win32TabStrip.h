// The tab-strip seam over MSAA (oleacc): a browser window's client object, asked for with
// WM_GETOBJECT, and the page tab list somewhere below it.
#pragma once

#include "platform/Platform.h"

namespace zorvex::win32 {

class Win32TabStrips : public ITabStrips {
 public:
  // answerTimeoutMs bounds the wait for the window to answer WM_GETOBJECT.
  explicit Win32TabStrips(unsigned answerTimeoutMs = 2000) : answerTimeoutMs_(answerTimeoutMs) {}

  // Joins the multithreaded apartment; left when the result goes.
  std::shared_ptr<void> EnterThread() override;
  TabStripRead Read(WindowHandle window, ReadWatch& watch) override;

 private:
  unsigned answerTimeoutMs_;
};

}  // namespace zorvex::win32
