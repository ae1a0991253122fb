// The interactive start: the selection dialog, shown again while the server cannot open the
// chosen instance (it may have ended meanwhile).
#include "panel/panel_application.h"
#include "panel/selection_dialog.h"

void runInteractiveStart() {
  for (;;) {
    CScrDlgInst dialog;
    const INT_PTR result = dialog.run();
    IZelkgrabEnum* enumerator = dialog.enumerator();
    if (result == CScrDlgInst::kSelected) {
      if (enumerator && FAILED(enumerator->CreateDlgN(dialog.chosen()))) continue;
      return;
    }
    if (result == CScrDlgInst::kCreateNew && enumerator) enumerator->CreateDlgN(-1);
    return;
  }
}
