// The class objects of the panel's three classes, registered with COM for local-server
// activation and multiple use while the server runs.
// Apartment: registered, served and revoked on the main thread.
#pragma once

#include <windows.h>

class ClassObjects {
 public:
  ClassObjects() = default;
  ~ClassObjects() { revoke(); }
  ClassObjects(const ClassObjects&) = delete;
  ClassObjects& operator=(const ClassObjects&) = delete;

  // Registers all three; on a failure those registered so far are revoked again.
  HRESULT registerAll();
  void revoke();

 private:
  DWORD cookies_[3] = {};
};
