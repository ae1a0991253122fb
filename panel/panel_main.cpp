// Zelkpanel's entry point: the crash handler first, then the version text, OLE and COM, and
// then the run the command line asks for: registration, unregistration, the local server
// (started by COM), or an interactive start.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <cstdlib>
#include <string>

#include "common/com_registration.h"
#include "common/module_proc.h"
#include "crash/zelkcrash.h"
#include "panel/class_objects.h"
#include "panel/command_line.h"
#include "panel/main_dialog.h"
#include "panel/panel_application.h"
#include "panel/server_lifetime.h"
#include "panel/server_registration.h"
#include "panel/version_text.h"

namespace {

// A user may copy only the program: without the crash handler it runs all the same.
void initialiseCrashHandler() {
  HMODULE crash = ::LoadLibraryW(L"Zelkcrash.dll");
  if (!crash) return;
  const auto initialise =
      moduleProc<ZelkcrashInitializeDebugHandlerProc>(crash, kZelkcrashInitializeDebugHandlerName);
  if (initialise) initialise(0);
  // Stays loaded: its handler runs when the program crashes.
}

#ifdef ZELKPANEL_CRASH_SWITCH
// Only in the test build: a crash on request, to show what the crash handler leaves behind.
void crashIfAsked() {
  wchar_t value[8] = {};
  if (::GetEnvironmentVariableW(L"ZELKPANEL_TEST_CRASH", value, 8) && value[0] == L'1') {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
  }
}
#endif

void runMessageLoop() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (CScrDlgMain::preTranslate(&message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  initialiseCrashHandler();
#ifdef ZELKPANEL_CRASH_SWITCH
  crashIfAsked();
#endif
  PanelApplication& application = panelApplication();
  application.versionText = readVersionText(currentModule());

  if (FAILED(::OleInitialize(nullptr))) {
    ::MessageBoxW(nullptr, L"OLE Initialization Failed!", nullptr, MB_OK | MB_ICONERROR);
    return 0;
  }
  const HRESULT apartment = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  application.mainThread = ::GetCurrentThreadId();
  application.serverRun = true;

  const StartMode mode = chooseStartMode(parseCommandLine(::GetCommandLineW()));
  ClassObjects classObjects;
  if (mode == StartMode::Register || mode == StartMode::Unregister) {
    // Failures are not reported: an installer has no one to tell.
    if (mode == StartMode::Register) {
      registerServer(modulePath(currentModule()));
    } else {
      unregisterServer();
    }
    application.serverRun = false;
  } else {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    if (mode == StartMode::Interactive) {
      runInteractiveStart();
    } else {
      serverLifetime().startMonitor(application.mainThread);
      if (SUCCEEDED(classObjects.registerAll())) runMessageLoop();
    }
  }

  if (application.serverRun) {
    classObjects.revoke();
    // Lets calls on their way out finish before the apartment goes.
    ::Sleep(1000);
  }
  if (SUCCEEDED(apartment)) ::CoUninitialize();
  ::OleUninitialize();
  return 0;
}
