#include "app/window_state_store.h"

#include <QEvent>
#include <QScreen>
#include <QString>
#include <QVariant>
#include <array>
#include <charconv>
#include <optional>
#include <stdexcept>

#include "settings/atomic_file.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "settings/stored_controls.h"

namespace tolvane {
namespace {

// "TimeLabel_Caption" -> control "TimeLabel", property "Caption".
std::pair<QString, QString> splitKey(const char* key) {
  const QString text = QString::fromLatin1(key);
  const qsizetype underscore = text.lastIndexOf(u'_');
  return {text.left(underscore), text.mid(underscore + 1)};
}

QObject* findControl(QWidget* window, const QString& name) {
  if (window == nullptr) return nullptr;
  return window->findChild<QObject*>(name);
}

bool hasProperty(const QObject* object, const char* name) {
  return object->metaObject()->indexOfProperty(name) >= 0;
}

// Labels of the toolkit show their caption as "text"; our own controls call it "Caption".
const char* captionProperty(const QObject* control) {
  return hasProperty(control, "Caption") ? "Caption" : "text";
}
const char* stateProperty(const QObject* control) {
  return hasProperty(control, "StateOn") ? "StateOn" : "checked";
}

std::optional<bool> storedWord(const IniDocument& doc, const char* key) {
  const auto word = doc.find(kOptionsSection, key);
  if (!word) return std::nullopt;
  const QString text = QString::fromStdString(*word);
  if (text.compare(u"True", Qt::CaseInsensitive) == 0) return true;
  if (text.compare(u"False", Qt::CaseInsensitive) == 0) return false;
  return std::nullopt;
}

bool storedNumberPresent(const IniDocument& doc, const char* key) {
  const auto text = doc.find(kOptionsSection, key);
  return text && captionNumber(*text).has_value();
}

int32_t& captionField(MachineSettings& m, const StoredCaption& c) {
  return c.field != nullptr ? m.*c.field : m.BlackFon[static_cast<size_t>(c.blackFon)];
}

std::string rectText(const QRect& r) {
  // Left, top, right, bottom with right and bottom one past the window, as placements are usually kept.
  return std::to_string(r.left()) + "," + std::to_string(r.top()) + "," +
         std::to_string(r.left() + r.width()) + "," + std::to_string(r.top() + r.height());
}

std::optional<QRect> parseRect(const std::string& text) {
  std::array<int, 4> v{};
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (size_t i = 0; i < v.size(); ++i) {
    while (p < end && *p == ' ') ++p;
    const auto [next, error] = std::from_chars(p, end, v[i]);
    if (error != std::errc{}) return std::nullopt;
    p = next;
    while (p < end && *p == ' ') ++p;
    if (i + 1 < v.size()) {
      if (p == end || *p != ',') return std::nullopt;
      ++p;
    }
  }
  if (p != end) return std::nullopt;
  const int64_t width = int64_t{v[2]} - v[0];
  const int64_t height = int64_t{v[3]} - v[1];
  if (width <= 0 || height <= 0 || width > 100000 || height > 100000) return std::nullopt;
  return QRect(v[0], v[1], static_cast<int>(width), static_cast<int>(height));
}

std::string resolutionSuffix(const QWidget* window) {
  const QScreen* screen = window->screen();
  if (screen == nullptr) return {};
  const QSize size = screen->size();
  return "(" + std::to_string(size.width()) + "x" + std::to_string(size.height()) + ")";
}

}  // namespace

WindowStateStore::WindowStateStore(QWidget* window, std::filesystem::path settingsFile,
                                   MachineSettings& machine, EngineLock* machineLock)
    : window_(window), settingsFile_(std::move(settingsFile)), machine_(machine), machineLock_(machineLock) {
  if (window != nullptr) window->installEventFilter(this);
}

WindowStateStore::~WindowStateStore() {
  writeOnDestroy();
  if (window_ != nullptr) window_->removeEventFilter(this);
}

bool WindowStateStore::restore() { return read(true); }

bool WindowStateStore::save() { return write(); }

void WindowStateStore::writeOnDestroy() {
  if (destroyWriteDone_) return;
  destroyWriteDone_ = true;
  if (!writtenSinceRead_) write();
}

bool WindowStateStore::read(bool placement) {
  readOnce_ = true;
  writtenSinceRead_ = false;
  std::error_code error;
  if (!std::filesystem::exists(settingsFile_, error)) return false;
  const IniDocument doc = IniDocument::load(settingsFile_);
  if (doc.loadedFromUnreadable()) return false;
  MachineSettings stored = machine_;
  if (!readStoredControls(doc, stored)) return false;
  // Only this thread writes the settings, so reading them here needs no lock; the result goes in
  // at once, under the lock.
  MachineSettings updated = machine_;

  // A value the file holds goes to MachineSettings and to its control; a missing one leaves the
  // control's value, which MachineSettings then takes over.
  for (const StoredSwitch& s : storedSwitches()) {
    const auto [name, property] = splitKey(s.key);
    QObject* control = findControl(window_, name);
    if (storedWord(doc, s.key).has_value()) {
      updated.*s.field = stored.*s.field;
      if (control != nullptr) control->setProperty(stateProperty(control), updated.*s.field);
    } else if (control != nullptr) {
      updated.*s.field = control->property(stateProperty(control)).toBool();
    }
  }
  for (const StoredCaption& c : storedCaptions()) {
    const auto [name, property] = splitKey(c.key);
    QObject* control = findControl(window_, name);
    if (storedNumberPresent(doc, c.key)) {
      captionField(updated, c) = captionField(stored, c);
      if (control != nullptr) {
        control->setProperty(captionProperty(control),
                             QString::fromStdString(numberLabelText(captionField(updated, c))));
      }
    } else if (control != nullptr) {
      const QString text = control->property(captionProperty(control)).toString();
      if (const auto number = captionNumber(text.toStdString())) captionField(updated, c) = *number;
    }
  }
  setMachine(updated);
  if (placement && window_ != nullptr) applyPlacement(doc);
  emit restored();
  return true;
}

void WindowStateStore::controlsToMachine() {
  MachineSettings updated = machine_;
  for (const StoredSwitch& s : storedSwitches()) {
    if (QObject* control = findControl(window_, splitKey(s.key).first)) {
      updated.*s.field = control->property(stateProperty(control)).toBool();
    }
  }
  for (const StoredCaption& c : storedCaptions()) {
    if (QObject* control = findControl(window_, splitKey(c.key).first)) {
      const QString text = control->property(captionProperty(control)).toString();
      if (const auto number = captionNumber(text.toStdString())) captionField(updated, c) = *number;
    }
  }
  setMachine(updated);
}

void WindowStateStore::setMachine(const MachineSettings& updated) {
  if (machineLock_ == nullptr) {
    machine_ = updated;
    return;
  }
  std::lock_guard lock(*machineLock_);
  machine_ = updated;
}

bool WindowStateStore::write() {
  if (frozen_) return false;
  controlsToMachine();
  try {
    IniDocument doc = IniDocument::load(settingsFile_);
    writeStoredControls(doc, machine_, placementKeys());
    doc.save(settingsFile_);
  } catch (const FileWriteError&) {
    return false;
  } catch (const std::invalid_argument&) {
    return false;
  }
  writtenSinceRead_ = true;
  return true;
}

std::vector<std::pair<std::string, std::string>> WindowStateStore::placementKeys() const {
  std::vector<std::pair<std::string, std::string>> keys;
  const QWidget* w = window_;
  if (w == nullptr) return keys;
  const Qt::WindowStates state = w->windowState();
  const int showCmd = (state & Qt::WindowMinimized)                            ? 2
                      : (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) ? 3
                                                                               : 1;
  const std::string normal = rectText(w->normalGeometry().isValid() ? w->normalGeometry() : w->geometry());
  const std::string minMax = "-1,-1,-1,-1";
  keys.emplace_back("Flags", "0");
  keys.emplace_back("ShowCmd", std::to_string(showCmd));
  keys.emplace_back("PixelsPerInch", std::to_string(w->logicalDpiY()));
  keys.emplace_back("MinMaxPos", minMax);
  keys.emplace_back("NormPos", normal);
  keys.emplace_back("Visible", w->isVisible() ? "1" : "0");
  if (const std::string suffix = resolutionSuffix(w); !suffix.empty()) {
    keys.emplace_back("MinMaxPos" + suffix, minMax);
    keys.emplace_back("NormPos" + suffix, normal);
  }
  return keys;
}

void WindowStateStore::applyPlacement(const IniDocument& doc) {
  // The placement for this screen size first; a machine may have been moved to another screen.
  std::optional<std::string> normal;
  if (const std::string suffix = resolutionSuffix(window_); !suffix.empty()) {
    normal = doc.find(kOptionsSection, "NormPos" + suffix);
  }
  if (!normal) normal = doc.find(kOptionsSection, "NormPos");
  if (normal) {
    if (const auto rect = parseRect(*normal)) window_->setGeometry(*rect);
  }
  // A machine screen always comes up: a stored minimised or hidden state is not restored.
  if (doc.readInt(kOptionsSection, "ShowCmd", 1) == 3) {
    window_->setWindowState(window_->windowState() | Qt::WindowMaximized);
  }
}

bool WindowStateStore::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_) {
    if (event->type() == QEvent::Show && !readOnce_) {
      read(true);
    } else if (event->type() == QEvent::Close) {
      write();
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tolvane
