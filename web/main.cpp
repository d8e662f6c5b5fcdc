// The game in a browser page: makes the page's window, loads its images and
// hands over to the window's load event, which runs as long as the page is open.
#include "flow/form.h"
#include "present/images.h"
#include "web/web_window.h"

int main() {
  using namespace zorva;
  static WebWindow window;
  LoadWindowImages(window);
  window.SetIcon(WindowIcon());
  Main = &window;
  Form_Load();
}
