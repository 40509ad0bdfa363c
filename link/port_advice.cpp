#include "link/port_advice.h"

#include <cstring>

namespace tenlo {

namespace {

// A group a user cannot sensibly be told to join.
bool GroupToJoin(const std::string& group) {
    return !group.empty() && group != "root" &&
           group.find_first_not_of("0123456789") != std::string::npos;
}

}  // namespace

std::string PortOpenProblem(const PortOpenFailure& failure) {
    const std::string& device = failure.device;
    switch (failure.reason) {
        case PortOpenFailure::Reason::PermissionDenied:
            if (GroupToJoin(failure.group)) {
                return "permission denied on " + device +
                       ": add yourself to the group that owns it (" + failure.group +
                       "): sudo usermod -aG " + failure.group + " $USER, then log in again";
            }
            return "permission denied on " + device +
                   (failure.group.empty() ? "" : " (group " + failure.group + ")") +
                   ": ask the administrator for access to it (a udev rule can give it to the "
                   "dialout group)";
        case PortOpenFailure::Reason::Busy:
            return device + " is held by another program" +
                   (failure.holder.empty() ? "" : ", " + failure.holder) +
                   ": close it and try again";
        case PortOpenFailure::Reason::None:
        case PortOpenFailure::Reason::NotFound:
        case PortOpenFailure::Reason::Other:
            break;
    }
    return {};
}

std::string PortOpenProblemJapanese(const PortOpenFailure& failure) {
    const std::string& device = failure.device;
    switch (failure.reason) {
        case PortOpenFailure::Reason::PermissionDenied:
            if (GroupToJoin(failure.group)) {
                return device + " を開く権限がありません。このポートのグループ (" + failure.group +
                       ") に自分を加えてください: sudo usermod -aG " + failure.group +
                       " $USER を実行し、ログインし直してください。";
            }
            return device + " を開く権限がありません" +
                   (failure.group.empty() ? "" : "（グループ " + failure.group + "）") +
                   "。管理者にアクセス権を設定してもらってください。";
        case PortOpenFailure::Reason::Busy:
            return device + " は他のプログラム" +
                   (failure.holder.empty() ? "" : " " + failure.holder + " ") +
                   "が使用中です。そのプログラムを終了してから、もう一度試してください。";
        case PortOpenFailure::Reason::NotFound:
            return "このポートはありません。接続されているポートは、一覧の先頭に名前付きで並んで"
                   "います。";
        case PortOpenFailure::Reason::Other:
            if (failure.error != 0 && !device.empty()) {
                return device + " を開けません (" + std::strerror(failure.error) + ")。";
            }
            break;
        case PortOpenFailure::Reason::None:
            break;
    }
    return {};
}

}  // namespace tenlo
