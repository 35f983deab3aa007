#include "app/network_presence.h"

#include <QCoreApplication>
#include <QNetworkInformation>
#include <optional>

#include "service/network_reachability.h"

namespace tolvane {

namespace {

NetworkReachability fromQt(QNetworkInformation::Reachability reachability) {
  switch (reachability) {
    case QNetworkInformation::Reachability::Disconnected:
      return NetworkReachability::kDisconnected;
    case QNetworkInformation::Reachability::Local:
      return NetworkReachability::kLocal;
    case QNetworkInformation::Reachability::Site:
      return NetworkReachability::kSite;
    case QNetworkInformation::Reachability::Online:
      return NetworkReachability::kOnline;
    case QNetworkInformation::Reachability::Unknown:
      break;
  }
  return NetworkReachability::kUnknown;
}

QNetworkInformation* loadedBackend() {
  // One attempt per run: the system's default backend, else any that reports reachability.
  static const bool loaded =
      QNetworkInformation::loadDefaultBackend() ||
      QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
  return loaded ? QNetworkInformation::instance() : nullptr;
}

}  // namespace

bool systemNetworkPresent() {
  if (QCoreApplication::instance() == nullptr) return networkPresent(std::nullopt);
  const QNetworkInformation* info = loadedBackend();
  if (info == nullptr || !info->supports(QNetworkInformation::Feature::Reachability)) {
    return networkPresent(std::nullopt);
  }
  return networkPresent(fromQt(info->reachability()));
}

}  // namespace tolvane
