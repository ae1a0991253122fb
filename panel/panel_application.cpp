// The panel program's state of its run.
#include "panel/panel_application.h"

PanelApplication& panelApplication() {
  static PanelApplication application;
  return application;
}
