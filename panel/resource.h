// Resource identifiers of the panel program, shared by its resource script and its code.
#pragma once

#define IDD_FRAME_WINDOW 171
#define IDD_INSTANCE_SELECTION 144

// Instance selection dialog.
#define IDC_CREATE_NEW 1011
#define IDC_INSTANCE_LIST 1050
#define IDC_SELECT 1051
#define IDC_SELECTION_LABEL 1058
