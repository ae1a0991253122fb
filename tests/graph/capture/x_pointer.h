// The virtual display's real pointer and buttons, driven from outside Wine with xdotool the way
// a user's mouse drives them, so that Wine and DirectInput see real X input. The program to run
// is named by the environment variable ZELK_XDOTOOL (a path on the X side). xdotool runs as a
// program of the host, which Wine starts without a handle to wait on: every step waits, with a
// time limit, until Wine reports its effect.
#pragma once

#include <windows.h>

namespace x_pointer {

enum class Button { Left = 1, Middle = 2, Right = 3 };

// Moves the pointer to `position` (screen coordinates); true once Wine reports it there.
bool moveTo(POINT position);
// Presses or releases `button`; true once Wine reports it down or up.
bool press(Button button);
bool release(Button button);

// A button held down for a scope, released however the scope ends.
class HeldButton {
 public:
  explicit HeldButton(Button button) : button_(button), held_(press(button)) {}
  ~HeldButton() { release(button_); }
  HeldButton(const HeldButton&) = delete;
  HeldButton& operator=(const HeldButton&) = delete;

  bool held() const { return held_; }

 private:
  Button button_;
  bool held_;
};

}  // namespace x_pointer
