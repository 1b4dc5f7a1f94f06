#include "orvane/protocol/process.h"

#include <array>
#include <bit>
#include <exception>
#include <functional>
#include <new>

#include "orvane/core/error.h"
#include "orvane/io/socket.h"
#include "orvane/protocol/detail/attached_sid.h"
#include "orvane/protocol/detail/find_marker.h"
#include "orvane/protocol/detail/request_sid.h"
#include "orvane/protocol/detail/token_table.h"
#include "orvane/util/generals.h"
#include "orvane/util/row.h"

namespace orvane {
namespace {

constexpr size_t kMaxParameterCount = 32767;

bool overlaps(std::string_view view, const std::string& text) {
  const std::less<const char*> before;
  return !before(view.data(), text.data()) && before(view.data(), text.data() + text.size() + 1);
}

// Blocks of one size released on this thread, kept for the next request of
// that size; at most kMaxKeptBlocks, the rest go back to the heap.
template <size_t kSize>
class BlockList {
 public:
  ~BlockList() {
    while (m_head != nullptr) ::operator delete(pop());
  }
  void* take() { return m_head == nullptr ? ::operator new(kSize) : pop(); }
  void give(void* block) {
    if (m_count == kMaxKeptBlocks) {
      ::operator delete(block);
      return;
    }
    m_head = new (block) Node{m_head};
    ++m_count;
  }

 private:
  static constexpr size_t kMaxKeptBlocks = 256;
  struct Node {
    Node* next;
  };
  static_assert(kSize >= sizeof(Node));

  void* pop() {
    Node* node = m_head;
    m_head = node->next;
    --m_count;
    return node;
  }

  Node* m_head = nullptr;
  size_t m_count = 0;
};

template <typename T>
class RecyclingAllocator {
 public:
  using value_type = T;
  RecyclingAllocator() = default;
  template <typename U>
  RecyclingAllocator(const RecyclingAllocator<U>&) {}  // rebinding, as allocators convert

  T* allocate(size_t n) {
    if (n != 1) return static_cast<T*>(::operator new(n * sizeof(T)));
    return static_cast<T*>(blocks().take());
  }
  void deallocate(T* p, size_t n) {
    if (n != 1) {
      ::operator delete(p);
      return;
    }
    blocks().give(p);
  }
  template <typename U>
  bool operator==(const RecyclingAllocator<U>&) const {
    return true;
  }

 private:
  static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
  static BlockList<sizeof(T)>& blocks() {
    thread_local BlockList<sizeof(T)> blocks;
    return blocks;
  }
};

}  // namespace

CProcess::CProcess() = default;
CProcess::~CProcess() = default;

std::shared_ptr<CProcess> CProcess::New() {
  return std::allocate_shared<CProcess>(RecyclingAllocator<CProcess>());
}

// The text kept for earlier parameters is not read again once the
// parameters are cleared; its storage is kept for reuse.
void CProcess::Renew() {
  if (m_child) m_child.reset();
  m_token = UNDEFINED;
  m_command_sid = kNoSid;
  m_text.clear();
  m_params_in_text = false;
  m_params.clear();
  m_description.clear();
  m_param_description.clear();
  m_process_log_level = 1;
  m_system_log_level = 0;
  m_must_be_loged_on = false;
  if (m_protocol_used) {
    m_protocol.~CDataProtocol();
    ::new (&m_protocol) CDataProtocol();
    m_protocol_used = false;
  }
  m_generals.reset();
}

void CProcess::DefineProcessByCommand(int16_t ProcessLogLevel, std::string_view Cmd) {
  if (m_text.Holds(Cmd) || overlaps(Cmd, m_kept_text)) {
    const std::string copy(Cmd);
    DefineProcessByCommand(ProcessLogLevel, copy);
    return;
  }
  KeepParameters();
  m_text.assign(Cmd);
  m_process_log_level = ProcessLogLevel;
  // Cmd lies outside this process, so it is read where it stands; every
  // offset into it is the same in m_text.
  const std::string_view text = Cmd;
  const detail::MessageHead head = detail::ReadMessageHead(text);
  m_token = static_cast<TokensEnum>(head.token);
  if (m_token == UNDEFINED) {
    m_command_sid = detail::ReadRequestSid(text, head);
    m_params.clear();
    return;
  }
  // No parameter marker can stand in the code or straddle its end or the
  // token end marker, so the first one lies behind the head.
  if (!ReadSidAndFewParameters(text, head)) {
    m_command_sid = detail::ReadRequestSid(text, head);
    ReadParameters(text, head.body);
  }
  if (LoggingCheck()) BuildDescriptions();
}

// The markers are gathered first; the parameters between them are then
// cut up to the first one equal to the invalid marker.
bool CProcess::ReadSidAndFewParameters(std::string_view text,
                                       const detail::MessageHead& head) {
  std::array<uint32_t, kInlineParameters> markers;
  size_t count = 0;
  bool too_many = false;
  size_t sid_end = std::string_view::npos;
  detail::ForEachMarkerBlock(
      text, kParameterMarker, kSidEnd, head.body, [&](size_t base, unsigned in_parameter,
                                                      unsigned in_sid) {
        if (in_sid != 0 && sid_end == std::string_view::npos) {
          sid_end = base + static_cast<size_t>(std::countr_zero(in_sid));
        }
        for (; in_parameter != 0; in_parameter &= in_parameter - 1) {
          if (count == markers.size()) {
            too_many = true;
            return false;
          }
          markers[count++] =
              static_cast<uint32_t>(base + static_cast<size_t>(std::countr_zero(in_parameter)));
        }
        return true;
      });
  if (too_many) return false;
  auto& spans = m_params.Staging();
  size_t kept = 0;
  for (; kept < count; ++kept) {
    const size_t begin = markers[kept] + kParameterMarker.size();
    const size_t end = kept + 1 < count ? markers[kept + 1] : text.size();
    if (end - begin == kInvalidParameter.size() &&
        text.compare(begin, end - begin, kInvalidParameter) == 0) {
      break;
    }
    spans[kept] = {static_cast<uint32_t>(begin), static_cast<uint32_t>(end - begin)};
  }
  // Without a SID end marker a message carries no SID.
  m_command_sid =
      sid_end == std::string_view::npos ? kNoSid : detail::ReadRequestSid(text, head, sid_end);
  m_params.Commit(kept);
  m_params_in_text = true;
  return true;
}

template <typename Params>
void CProcess::DefineResponse(int16_t level, TokensEnum token, const Params& params) {
  std::string text = m_protocol.Response(token, params);
  m_token = token;
  m_process_log_level = level;
  KeepParameters();
  m_text.assign(std::move(text));
  if (!LoggingCheck()) return;
  const std::string_view all = m_text.view();
  ReadParameters(all.substr(0, all.size() - kMessageTerminator.size()), 0);
  BuildDescriptions();
}

void CProcess::DefineResponseByToken(int16_t ProcessLogLevel, TokensEnum Token,
                                     std::initializer_list<std::string_view> params) {
  DefineResponse(ProcessLogLevel, Token, params);
}

void CProcess::DefineResponseByToken(int16_t ProcessLogLevel, TokensEnum Token,
                                     std::span<const std::string> params) {
  DefineResponse(ProcessLogLevel, Token, params);
}

template <typename Params>
void CProcess::DefineRequest(int32_t sid, int16_t level, TokensEnum token,
                             const Params& params) {
  m_protocol_used = true;
  m_protocol.sid(sid);
  std::string text = m_protocol.Request(token, params);
  m_token = token;
  m_process_log_level = level;
  KeepParameters();
  m_text.assign(std::move(text));
}

void CProcess::DefineRequestByToken(int32_t sid, int16_t ProcessLogLevel, TokensEnum Token,
                                    std::initializer_list<std::string_view> params) {
  DefineRequest(sid, ProcessLogLevel, Token, params);
}

void CProcess::DefineRequestByToken(int32_t sid, int16_t ProcessLogLevel, TokensEnum Token,
                                    std::span<const std::string> params) {
  DefineRequest(sid, ProcessLogLevel, Token, params);
}

// Reads parameter 1, 2, ... until one reads as the invalid marker: each
// parameter runs from behind its marker to the next marker or the end.
void CProcess::ReadParameters(std::string_view text, size_t from) {
  m_params.clear();
  m_params_in_text = true;
  size_t at = detail::FindMarker(text, kParameterMarker, from);
  while (at != std::string_view::npos) {
    const size_t begin = at + kParameterMarker.size();
    const size_t next = detail::FindMarker(text, kParameterMarker, begin);
    const size_t end = next == std::string_view::npos ? text.size() : next;
    if (text.substr(begin, end - begin) == kInvalidParameter) return;
    if (m_params.size() == kMaxParameterCount) {
      throw Error(ErrorCode::Overflow, "a message holds more than 32767 parameters");
    }
    m_params.push_back({static_cast<uint32_t>(begin), static_cast<uint32_t>(end - begin)});
    at = next;
  }
}

void CProcess::KeepParameters() {
  if (!m_params_in_text) return;
  m_kept_text.assign(m_text.view());
  m_params_in_text = false;
}

std::string_view CProcess::ParameterText(size_t i) const {
  const std::string_view source = m_params_in_text ? m_text.view() : m_kept_text;
  return source.substr(m_params[i].begin, m_params[i].length);
}

void CProcess::BuildDescriptions() {
  m_description = m_protocol.TokenPublicDesc(m_token);
  m_param_description.clear();
  for (size_t i = 0; i < m_params.size(); ++i) {
    if (i > 0) m_param_description += " , ";
    m_param_description += "P";
    m_param_description += std::to_string(i + 1);
    m_param_description += "=(";
    m_param_description.append(ParameterText(i));
    m_param_description += ")";
  }
}

bool CProcess::ValidateSID() const {
  if (m_command_sid == kNoSid || m_command_sid == kUnsetSid || !m_child) return false;
  const std::optional<int32_t> sid = detail::AttachedSid(*m_child);
  return sid.has_value() && *sid == m_command_sid;
}

std::string CProcess::ProcessDescription() const {
  return "'" + m_description + "' " + m_param_description;
}

std::string CProcess::SessionDescription(const std::shared_ptr<ISocket>& Child) const {
  return m_protocol.SessionDescription(Child);
}

std::string CProcess::IQueueNode_ID() const {
  if (!m_child) return std::string();
  const std::optional<int32_t> sid = detail::AttachedSid(*m_child);
  return sid ? std::to_string(*sid) : std::string();
}

std::string CProcess::IQueueNode_toString() const {
  const std::string address = m_child ? m_child->RemoteAddress() : std::string();
  return "From: " + address + " Process:" + ProcessDescription();
}

std::string CProcess::ParameterValue(int16_t Index, bool PutDefaultValue,
                                     std::string_view DefaultValue) const {
  if (Index >= 1 && static_cast<size_t>(Index) <= m_params.size()) {
    return std::string(ParameterText(static_cast<size_t>(Index - 1)));
  }
  return std::string(PutDefaultValue ? DefaultValue : kInvalidParameter);
}

std::string_view CProcess::ParameterView(int16_t Index) const {
  if (Index < 1 || static_cast<size_t>(Index) > m_params.size()) return {};
  return ParameterText(static_cast<size_t>(Index - 1));
}

SendResultEnum CProcess::Send(const std::shared_ptr<ISocket>& Child) {
  if (!Child) return SentFailedError;
  try {
    if (Child->RemotePort() == 0) return SentFailedZeroPort;
    Child->Send(m_text.view());
    return SentSuccessfully;
  } catch (const std::exception&) {
    return SentFailedError;
  }
}

CGenerals& CProcess::Generals() {
  if (!m_generals) m_generals = std::make_unique<CGenerals>();
  return *m_generals;
}

void CProcess::SplitOrderAuditRow(std::string_view OrderRow, std::string& Client,
                                  std::string& Account, std::string& OrType, std::string& OrID,
                                  std::string& OrStatus, std::string& OrIoID,
                                  std::string& OrCpIoID, std::string& vTime,
                                  std::string& OrNewBuy, std::string& OrNewSell,
                                  std::string& OrAmount, std::string& OrCur,
                                  std::string& OrOldBuy, std::string& OrOldSell,
                                  std::string& OrBuySell, std::string& Comment) {
  Generals().SplitOrderAuditRow(OrderRow, Client, Account, OrType, OrID, OrStatus, OrIoID,
                                OrCpIoID, vTime, OrNewBuy, OrNewSell, OrAmount, OrCur, OrOldBuy,
                                OrOldSell, OrBuySell, Comment);
}

void CProcess::SplitPosRow(std::string_view rData, int32_t& vClient, int32_t& vAccount,
                           int32_t& Ticket, std::string& PosTime, OperationTypeEnum& BuySell,
                           double& lots, int32_t& vCur, double& Price, std::string& SLDesc,
                           std::string& TPDesc, int16_t& Checked, double& OriginalAllLots,
                           std::string& SymName, double& OpenInt, std::string& OpenMethod,
                           std::string& OpenNote) {
  Generals().SplitPosRow(rData, vClient, vAccount, Ticket, PosTime, BuySell, lots, vCur, Price,
                         SLDesc, TPDesc, Checked, OriginalAllLots, SymName, OpenInt, OpenMethod,
                         OpenNote);
}

void CProcess::SplitOrderRow(std::string_view OrderRow, std::string& vOrder, std::string& vTime,
                             std::string& vBuySell, std::string& vLots, std::string& vCur,
                             std::string& vPrice, std::string& vOpCpLoST, std::string& vCpIoID,
                             std::string& vSL, std::string& vTP, std::string& vStatus,
                             std::string& vNote) {
  Generals().SplitOrderRow(OrderRow, vOrder, vTime, vBuySell, vLots, vCur, vPrice, vOpCpLoST,
                           vCpIoID, vSL, vTP, vStatus, vNote);
}

CRow& CProcess::RowReader() const {
  m_protocol_used = true;
  return *m_protocol.Row();
}

std::string CProcess::RowStringDelimiter() const { return RowReader().Delimiter(); }

void CProcess::AddRowString(std::string_view Row) { RowReader().Add(Row); }

int32_t CProcess::RowCellsCount() const { return RowReader().Count(); }

std::string CProcess::RowCell(int32_t Index) const { return RowReader().Item(Index); }

}  // namespace orvane
