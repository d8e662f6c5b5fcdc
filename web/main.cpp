// The game in a browser page: makes the page's window, loads its images and
// runs the game, recorded, with the demos the page hands over, as long as
// the page is open.
#include "present/images.h"
#include "web/page_demos.h"
#include "web/web_window.h"

int main() {
  using namespace zorva;
  static WebWindow window;
  LoadWindowImages(window);
  window.SetIcon(WindowIcon());
  Main = &window;
  RunPage(window);
}
