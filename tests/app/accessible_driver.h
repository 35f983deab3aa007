#pragma once

// Drives a window the way assistive technology (AT-SPI) and service scripts do: through the
// accessibility tree from the window's interface (child(i), not QObject children), finding a control
// by its description (the object name) or by its name (the caption), and pressing it.

#include <QAccessible>
#include <QObject>
#include <QString>
#include <QWidget>
#include <functional>
#include <unordered_set>
#include <vector>

namespace tolvane::test {

class AccessibleDriver {
 public:
  explicit AccessibleDriver(QWidget* window) : root_(QAccessible::queryAccessibleInterface(window)) {}

  QAccessibleInterface* root() const { return root_; }

  // Every interface below the root, depth first, the root included. Each is visited once, so a tree
  // that loops back on itself still ends.
  std::vector<QAccessibleInterface*> all() const {
    std::vector<QAccessibleInterface*> out;
    std::unordered_set<QAccessibleInterface*> seen;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* iface) {
      if (iface == nullptr || !iface->isValid() || !seen.insert(iface).second) {
        return;
      }
      out.push_back(iface);
      const int count = iface->childCount();
      for (int i = 0; i < count; ++i) {
        walk(iface->child(i));
      }
    };
    walk(root_);
    return out;
  }

  // The first interface whose description is `description`; interfaces without a description (Qt's
  // own widgets, labels) answer to their object name instead.
  QAccessibleInterface* findByDescription(const QString& description) const {
    for (QAccessibleInterface* iface : all()) {
      QString text = iface->text(QAccessible::Description);
      if (text.isEmpty() && iface->object() != nullptr) {
        text = iface->object()->objectName();
      }
      if (text == description) {
        return iface;
      }
    }
    return nullptr;
  }

  QAccessibleInterface* findByName(const QString& name) const {
    for (QAccessibleInterface* iface : all()) {
      if (iface->text(QAccessible::Name) == name) {
        return iface;
      }
    }
    return nullptr;
  }

  // Runs the press action; false when there is no interface or it has no press action.
  static bool press(QAccessibleInterface* iface) {
    if (iface == nullptr || iface->actionInterface() == nullptr ||
        !iface->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction())) {
      return false;
    }
    iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    return true;
  }

  bool pressByDescription(const QString& description) const { return press(findByDescription(description)); }
  bool pressByName(const QString& name) const { return press(findByName(name)); }

 private:
  QAccessibleInterface* root_;
};

}  // namespace tolvane::test
