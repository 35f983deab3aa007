#pragma once

#include <QObject>
#include <optional>

#include "colour_tools/shape_template_picture.h"
#include "ui/bitmap_util.h"

namespace tolvane {

class Machine;
class PageWork;

// The shape template editor on the conditions page: Forma_Edit ("[...]") opens FrmEditPanel and draws
// the program's template; a touch on the picture draws it again; "<<" and ">>" bend it (valN1 and
// valN2 are program values and change at once); "Ok" draws, takes the ratio as ifForma, shows it in
// Forma_val and closes the panel.
//
// A template that gives no ratio (valN1 and valN2 from the settings file that make h63 zero, or a
// ratio beyond 32 bits) shows "---" in the picture; "Ok" then leaves ifForma and Forma_val as they are
// and still closes the panel, since both bends may be stuck (valN1 = valN2 = 0 moves neither way).
//
// Threads: main thread. valN1, valN2 and ifForma change under the engine lock.
class ShapeTemplateController : public QObject {
  Q_OBJECT

 public:
  ShapeTemplateController(PageWork& page, Machine& machine, QObject* parent = nullptr);

  // "[...]": the panel shown and the template drawn.
  void open();
  // Draws the program's template into FormImage.
  void draw();
  // "<<" (left true) or ">>": bend, then draw.
  void bend(bool left);
  // "Ok": draw, store the ratio, close.
  void confirm();
  // After a program load: an open panel shows the loaded program's template.
  void showProgram();

  // The last drawing (half-heights 0 and no ratio before the first).
  const ShapeTemplateView& view() const { return view_; }
  const TBitMapUtil& picture() const { return picture_; }

 private:
  PageWork& page_;
  Machine& machine_;
  TBitMapUtil picture_;
  ShapeTemplateView view_;
};

}  // namespace tolvane
