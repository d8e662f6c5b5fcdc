#include "base/window.h"

namespace zorva {

Window* Main = nullptr;

Window::Window() : Crt(324, 324, 2), BG(324, 324, 2) {
  Crt.ForeColor = RGB(0, 0, 255);  // the status line prints in pure blue
}

std::int64_t timeGetTime() { return Main->timeGetTime(); }
std::int16_t GetAsyncKeyState(int vk) { return Main->GetAsyncKeyState(vk); }
void sndPlaySoundA(const std::string& file, unsigned flags) { Main->sndPlaySoundA(file, flags); }
void mciSendStringA(const std::string& command) { Main->mciSendStringA(command); }
void DoEvents() { Main->DoEvents(); }

}  // namespace zorva
