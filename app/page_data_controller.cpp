#include "app/page_data_controller.h"

#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>

#include "app/machine.h"
#include "app/page_common.h"
#include "engine/object_tracker.h"
#include "engine/reject_decision.h"
#include "engine/sample_info.h"

namespace tolvane {

namespace {

constexpr int kPollMs = 250;
constexpr QRgb kChannelOffColour = 0xFF808080;

QFont itemFont() { return screenFont(12, true); }
QFont markingFont() { return screenFont(9, true); }
QFont bigFont() { return screenFont(11); }
QFont smallFont() { return screenFont(8); }

void writeTexts(TBitMapUtil& canvas, const std::vector<CanvasText>& texts, const QFont& font) {
  const QFontMetrics metrics(font);
  for (const CanvasText& t : texts) {
    const QString text = QString::fromStdString(t.text);
    canvas.SetColor(t.colour);
    canvas.TextOut(t.rightEdge ? t.x - metrics.horizontalAdvance(text) : t.x, t.y, text, font);
  }
}

// Paints each list item from the controller's copy of its slot.
class SampleItemDelegate : public QStyledItemDelegate {
 public:
  SampleItemDelegate(const PageDataController& controller, QObject* parent)
      : QStyledItemDelegate(parent), controller_(controller) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int slot = index.data(Qt::DisplayRole).toString().toInt();
    if (slot < 0 || slot >= kSampleSlots) return;
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    painter->drawImage(option.rect.topLeft(),
                       controller_.listItemPicture(slot, selected, option.rect.size()));
  }
  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return kSampleItemSize; }

 private:
  const PageDataController& controller_;
};

}  // namespace

PageDataController::PageDataController(PageData& page, Machine& machine, SmallPictures small, QObject* parent)
    : QObject(parent),
      page_(page),
      machine_(machine),
      smallLabels_(small),
      table_(std::make_unique<ObjectRecord[]>(kSampleSlots)),
      previous_(std::make_unique<ObjectRecord[]>(kSampleSlots)),
      before_(std::make_unique<ObjectRecord>()),
      work_(std::make_unique<ObjectRecord>()) {
  for (TBitMapUtil& t : thumbnails_) t.setSize(kSampleSmallSize, kSampleSmallSize);
  for (int camera = 0; camera < kCameraCount; ++camera) {
    QListWidget* box = list(camera);
    box->setItemDelegate(new SampleItemDelegate(*this, box));
    box->viewport()->installEventFilter(this);
  }
  page_.Paint->installEventFilter(this);
  page_.PaintB->installEventFilter(this);
  page_.R_Label->installEventFilter(this);
  page_.G_Label->installEventFilter(this);
  page_.B_Label->installEventFilter(this);

  EngineState& engine = machine_.engine();
  connect(page_.ScanExamSwitch, &TasSwitch::switchedOn, this, [this] { setScanExam(true); });
  connect(page_.ScanExamSwitch, &TasSwitch::switchedOff, this, [this] { setScanExam(false); });
  connect(page_.SampleNormButton, &TasSwitch::switchedOn, this,
          [&engine] { engine.SampleNormButton = true; });
  connect(page_.SampleNormButton, &TasSwitch::switchedOff, this,
          [&engine] { engine.SampleNormButton = false; });
  connect(page_.SampleBrakButton, &TasSwitch::switchedOn, this,
          [&engine] { engine.SampleBrakButton = true; });
  connect(page_.SampleBrakButton, &TasSwitch::switchedOff, this,
          [&engine] { engine.SampleBrakButton = false; });
  const auto maskChanged = [this, &engine] {
    engine.MaskSwitch = page_.MaskSwitch->stateOn();
    maskRedraw();
  };
  connect(page_.MaskSwitch, &TasSwitch::switchedOn, this, maskChanged);
  connect(page_.MaskSwitch, &TasSwitch::switchedOff, this, maskChanged);
  connect(page_.AllClearSwitch, &TasSwitch::clicked, this, [this] { clearAll(); });

  syncFlags();
  copyTable();
  for (int camera = 0; camera < kCameraCount; ++camera) {
    captures_[static_cast<std::size_t>(camera)] =
        engine.SamplesCaptured[static_cast<std::size_t>(camera)].load();
  }
  poll_.setInterval(kPollMs);
  connect(&poll_, &QTimer::timeout, this, &PageDataController::pollCaptures);
  poll_.start();
}

PageDataController::~PageDataController() = default;

QListWidget* PageDataController::list(int camera) const {
  return camera == 0 ? page_.SampleBox1 : page_.SampleBox2;
}

int PageDataController::selectedSlot(int camera) const {
  const int row = std::max(list(camera)->currentRow(), 0);
  return firstSampleSlot(camera) + std::min(row, kSampleSlotsPerCamera - 1);
}

// The switches' states as the page starts (the catch switches start on).
void PageDataController::syncFlags() {
  EngineState& engine = machine_.engine();
  engine.SampleNormButton = page_.SampleNormButton->stateOn();
  engine.SampleBrakButton = page_.SampleBrakButton->stateOn();
  engine.MaskSwitch = page_.MaskSwitch->stateOn();
  if (page_.ScanExamSwitch->stateOn()) setScanExam(true);
}

void PageDataController::setScanExam(bool on) {
  EngineState& engine = machine_.engine();
  std::lock_guard lock(engine.engineLock);
  if (on) engine.BackgroundFill = singleToneBackgroundFill(machine_.sorter());
  engine.ScanExamSwitch = on;
}

void PageDataController::copyTable() {
  EngineState& engine = machine_.engine();
  {
    std::lock_guard lock(engine.engineLock);
    std::copy_n(engine.SampleTable.get(), kSampleSlots, table_.get());
  }
  for (int slot = 0; slot < kSampleSlots; ++slot) {
    *work_ = table_[static_cast<std::size_t>(slot)];
    reject_[static_cast<std::size_t>(slot)] = IsReject(*work_, machine_.sorter());
  }
}

void PageDataController::rebuildThumbnail(int slot) {
  drawSampleThumbnail(table_[static_cast<std::size_t>(slot)], thumbnails_[static_cast<std::size_t>(slot)]);
}

void PageDataController::rebuildThumbnails() {
  copyTable();
  for (int slot = 0; slot < kSampleThumbnailsAtStart; ++slot) rebuildThumbnail(slot);
  repaintLists();
}

void PageDataController::repaintLists() {
  page_.SampleBox1->viewport()->update();
  page_.SampleBox2->viewport()->update();
}

void PageDataController::pollCaptures() {
  EngineState& engine = machine_.engine();
  bool caught = false;
  for (std::size_t camera = 0; camera < kCameraCount; ++camera) {
    const std::uint64_t now = engine.SamplesCaptured[camera].load(std::memory_order_acquire);
    caught = caught || now != captures_[camera];
    captures_[camera] = now;
  }
  if (!caught) return;
  std::swap(table_, previous_);
  copyTable();
  for (int slot = 0; slot < kSampleSlots; ++slot) {
    const auto i = static_cast<std::size_t>(slot);
    if (std::memcmp(&table_[i], &previous_[i], sizeof(ObjectRecord)) != 0) rebuildThumbnail(slot);
  }
  repaintLists();
}

QImage PageDataController::listItemPicture(int slot, bool selected, QSize size) const {
  TBitMapUtil canvas(size.width(), size.height());
  const auto i = static_cast<std::size_t>(slot);
  const SampleItemView view =
      sampleItemView({0, 0, size.width(), size.height()}, slot, table_[i], selected, reject_[i]);
  drawSampleItem(canvas, view, thumbnails_[i]);
  if (view.markingText) writeTexts(canvas, {*view.markingText}, markingFont());
  writeTexts(canvas, {view.decision, view.number}, itemFont());
  return canvas.toImage();
}

void PageDataController::listTouch(int camera, QPoint at) {
  QListWidget* box = list(camera);
  const QModelIndex index = box->indexAt(at);
  if (!index.isValid()) return;
  const QRect rect = box->visualRect(index);
  const int slot = index.data(Qt::DisplayRole).toString().toInt();
  if (slot < firstSampleSlot(camera) || slot >= firstSampleSlot(camera) + kSampleSlotsPerCamera) return;
  const auto i = static_cast<std::size_t>(slot);
  const SampleItemPart part =
      sampleItemPartAt({rect.x(), rect.y(), rect.width(), rect.height()}, at.x(), at.y());
  if (part != SampleItemPart::kPicture) {
    EngineState& engine = machine_.engine();
    {
      std::lock_guard lock(engine.engineLock);
      ObjectRecord& sample = engine.SampleTable[i];
      if (part == SampleItemPart::kOccupancy) {
        sample.InUse = toggledInUse(sample.InUse);
      } else {
        sample.Verdict = nextVerdict(sample.Verdict);
      }
      table_[i].InUse = sample.InUse;
      table_[i].Verdict = sample.Verdict;
    }
    box->viewport()->update();
  }
  drawSlot(camera, slot);
}

void PageDataController::drawSlot(int camera, int slot) {
  // The list has selected the touched item already; the drawing follows its selection.
  if (selectedSlot(camera) != slot) list(camera)->setCurrentRow(slot - firstSampleSlot(camera));
  redrawCamera(camera, true);
}

void PageDataController::maskRedraw() {
  for (int camera = 0; camera < kCameraCount; ++camera) {
    if (list(camera)->currentRow() < 0) list(camera)->setCurrentRow(0);
  }
  for (int camera = 0; camera < kCameraCount; ++camera) redrawCamera(camera, false);
}

void PageDataController::redrawCamera(int camera, bool overlays) {
  try {
    const int slot = selectedSlot(camera);
    const auto i = static_cast<std::size_t>(slot);
    EngineState& engine = machine_.engine();
    const SorterSettings& sorter = machine_.sorter();
    ClassifierInputs inputs;
    SectorTables sectors;
    FillColour fill;
    std::vector<EjectorSpan> ejectors(static_cast<std::size_t>(kEjectorsPerSide));
    {
      std::lock_guard lock(engine.engineLock);
      *before_ = engine.SampleTable[i];
      inputs = classifierInputs(engine, sorter, camera);
      if (inputs.sectors != nullptr) sectors = *inputs.sectors;
      fill = engine.BackgroundFill;
      for (int b = 1; b <= kEjectorsPerSide; ++b) {
        const EjectorZone& zone = engine.ejection.EjectorZones[b];
        ejectors[static_cast<std::size_t>(b - 1)] = {zone.start(camera), zone.end(camera)};
      }
    }
    inputs.sectors = &sectors;

    *work_ = *before_;
    const SampleDrawFlags flags{.mask = page_.MaskSwitch->stateOn(),
                                .red = channels_[0],
                                .green = channels_[1],
                                .blue = channels_[2]};
    const SamplePicture picture = sampleMaskRedraw(*work_, inputs, fill, flags);
    if (overlays) {
      // A list touch only draws; its counts stay as they were.
      work_->Mass = before_->Mass;
      std::copy_n(before_->ClassCount, 5, work_->ClassCount);
      if (sorter.enLength || sorter.enWeight || sorter.enEks || sorter.enForma)
        shapeMeasures(*work_, inputs, fill);
    }
    const QPoint at = picked_[static_cast<std::size_t>(camera)];
    const PickedColour picked = pickedColour(*work_, at.x(), at.y());

    SampleInfo info;
    {
      std::lock_guard lock(engine.engineLock);
      ObjectRecord& sample = engine.SampleTable[i];
      // A capture may have filled the slot meanwhile; then its new sample stays as caught.
      if (std::memcmp(&sample, before_.get(), sizeof(ObjectRecord)) == 0) sample = *work_;
      table_[i] = sample;
      info = sampleInformation(engine, sorter, slot, picked, engine.singleToneCamera);
    }
    *work_ = table_[i];
    reject_[i] = IsReject(*work_, sorter);

    TBitMapUtil& big = big_[static_cast<std::size_t>(camera)];
    drawSampleBig(big, picture);
    std::vector<CanvasText> bigTexts;
    if (overlays) bigTexts = drawSampleOverlays(big, table_[i], ejectors);
    const std::vector<CanvasText> infoTexts = sampleInfoBigTexts(info);
    bigTexts.insert(bigTexts.end(), infoTexts.begin(), infoTexts.end());
    drawSampleSmall(small_[static_cast<std::size_t>(camera)], picture);
    showPictures(camera, bigTexts, sampleInfoSmallTexts(info));
    list(camera)->viewport()->update();
  } catch (const std::exception&) {
    // A sample that cannot be drawn leaves the pictures as they were.
  }
}

void PageDataController::showPictures(int camera, const std::vector<CanvasText>& bigTexts,
                                      const std::vector<CanvasText>& smallTexts) {
  const auto c = static_cast<std::size_t>(camera);
  writeTexts(big_[c], bigTexts, bigFont());
  writeTexts(small_[c], smallTexts, smallFont());
  (camera == 0 ? page_.Paint : page_.PaintB)->setPixmap(QPixmap::fromImage(big_[c].toImage()));
  const QPixmap small = QPixmap::fromImage(small_[c].toImage());
  for (QLabel* label : camera == 0 ? std::array{smallLabels_.Paint2, smallLabels_.Paint4}
                                   : std::array{smallLabels_.Paint3, smallLabels_.Paint5}) {
    if (label != nullptr) label->setPixmap(small);
  }
}

void PageDataController::pick(int camera, QPoint at) {
  picked_[static_cast<std::size_t>(camera)] = at;
  maskRedraw();
}

void PageDataController::clearAll() {
  EngineState& engine = machine_.engine();
  const std::int32_t fonMax = machine_.sorter().FonMax[0];
  {
    std::lock_guard lock(engine.engineLock);
    clearAllSamples(engine.SampleTable.get(), fonMax);
  }
  copyTable();
  for (int slot = 0; slot < kSampleSlotsCleared; ++slot) {
    drawClearedThumbnail(thumbnails_[static_cast<std::size_t>(slot)], fonMax);
  }
  repaintLists();
}

void PageDataController::toggleChannel(int channel) {
  const auto c = static_cast<std::size_t>(channel);
  channels_[c] = !channels_[c];
  QLabel* label = channel == 0 ? page_.R_Label : channel == 1 ? page_.G_Label : page_.B_Label;
  setLabelTextColor(label, channels_[c] ? QColor(Qt::black) : QColor(kChannelOffColour));
  maskRedraw();
}

bool PageDataController::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    for (int camera = 0; camera < kCameraCount; ++camera) {
      if (watched == list(camera)->viewport()) listTouch(camera, at);
    }
    if (watched == page_.R_Label) toggleChannel(0);
    if (watched == page_.G_Label) toggleChannel(1);
    if (watched == page_.B_Label) toggleChannel(2);
  } else if (event->type() == QEvent::MouseButtonPress) {
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    if (watched == page_.Paint) pick(0, at);
    if (watched == page_.PaintB) pick(1, at);
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tolvane
