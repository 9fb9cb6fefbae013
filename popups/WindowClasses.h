// Window class names and title words of the older browsers and of Firefox (the class today's
// browsers on one engine share is kChromiumFrameClass in popups/BrowserTable.h). Part of the
// system, never translated; the browser table reads them, and through it the scanner, the lister
// and the hot key, and TabClose tells windows of tabs by them.
#pragma once

namespace zorvex::browser_classes {

// Opera: judged by the scanner whatever the options say; listed only while Opera is watched.
inline constexpr const char* kOperaMdi = "BrowserWindowMDI";
inline constexpr const char* kOperaUi = "OUIWINDOW";
inline constexpr const char* kOperaWindow = "OpWindow";
// Explorer family.
inline constexpr const char* kIEFrame = "IEFrame";
inline constexpr const char* kMsn = "MSN6 Window";
inline constexpr const char* kAfxFrameOrView = "AfxFrameOrView42s";
inline constexpr const char* kCabinet = "CabinetWClass";
inline constexpr const char* kUbc = "ubc_00001";
inline constexpr const char* kUbcPopup = "ubcpopup_00001";
inline constexpr const char* kAolChild = "AOL Child";
inline constexpr const char* kTfrmPage = "TfrmPage";
inline constexpr const char* kDialog = "#32770";
inline constexpr const char* kNeoPlanetWord = "NeoPlanet";
// Netscape family.
inline constexpr const char* kAfxPrefix = "Afx:";
inline constexpr const char* kNetscapeWord = "Netscape";
inline constexpr const char* kMozilla = "MozillaWindowClass";
// Containers whose descendants are searched.
inline constexpr const char* kOperaMain = "Opera Main Window";
inline constexpr const char* kAolStatic = "_AOL_Static";
inline constexpr const char* kAolFrame = "AOL Frame25";
inline constexpr const char* kAvant = "TfrmAvantBrowser";

}  // namespace zorvex::browser_classes
