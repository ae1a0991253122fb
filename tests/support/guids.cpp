// Defines the interface ids that mingw's qedit.h only declares.
#include <windows.h>
#include <initguid.h>
#include <qedit.h>
