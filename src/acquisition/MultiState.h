#pragma once
#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/QV_Source.h"
#include "acquisition/QV_TcpServer.h"
#include "devices/QV_DeviceInfo.h"
#include "protocol/QV_ReportOrders.h"

// The program-wide list of sources behind the source handles and the procedural interface, with
// the report orders that serve reads outside the list's lock.

constexpr int CmaxOrder = 100;

// One kind of report orders: 100 slots. Items are allocated so that the thread serving one outside
// the lock keeps a stable address; only collected items are freed.
template <class TItem>
struct TOrderTable {
  std::array<std::unique_ptr<TItem>, CmaxOrder> Slots{};
  int Count = 0;

  void FreeCollected() {
    for (auto& slot : Slots)
      if (slot && slot->state == grs_Collected) {
        slot.reset();
        --Count;
      }
  }
  bool HasOrderFor(int32_t id) const {
    return std::any_of(Slots.begin(), Slots.end(), [id](const auto& slot) { return slot && slot->MultiId == id; });
  }
  // The slot of the new order.
  int Place(std::unique_ptr<TItem> item) {
    const auto free = std::find(Slots.begin(), Slots.end(), nullptr);
    *free = std::move(item);
    ++Count;
    return static_cast<int>(free - Slots.begin());
  }
};

struct TMultiState {
  std::mutex Lock;
  std::vector<std::shared_ptr<TSourceItem>> Sources;
  std::string EventName = "BaseReceiveEvent";
  bool DoResetEvent = false;
  bool OptRawData = false;
  bool Opt7019 = false;
  TQV_DeviceInfoList DeviceInfos;
  std::string LastError;
  TOrderTable<TGetReportItem> Orders;
  TOrderTable<TGetReportItemStruct> OrdersStruct;
  // The local data servers by source id, made at a source's first start; they live as long as
  // their sources, so a source never forwards to a freed server.
  std::map<int32_t, std::shared_ptr<TQV_TcpServer>> TcpServers;
  TArchiveStoreFactory ArchiveStoreFactory;
};

// Never destroyed: sources may still be reached from threads while the program ends.
TMultiState& State();
// The source of that id, or none; FindLocked with State().Lock held.
std::shared_ptr<TSourceItem> FindLocked(int32_t id);
std::shared_ptr<TSourceItem> FindSource(int32_t id);
