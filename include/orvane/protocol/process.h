#ifndef ORVANE_PROTOCOL_PROCESS_H_
#define ORVANE_PROTOCOL_PROCESS_H_

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvane/core/object.h"
#include "orvane/io/queue_node.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/detail/process_storage.h"
#include "orvane/protocol/framing.h"
#include "orvane/protocol/tokens_enum.h"
#include "orvane/vocabulary/operation_type_enum.h"

namespace orvane {

class CGenerals;
class CRow;
class ISocket;
namespace detail {
struct MessageHead;
}  // namespace detail

// The outcome of CProcess::Send. Both failures share the value 2.
enum SendResultEnum : int32_t {
  SentSuccessfully = 1,
  SentFailedZeroPort = 2,
  SentFailedError = 2,
};

// One protocol message held as an object: a request or response built from a
// token and parameters before it is sent, or a received message parsed into
// its token, SID and parameters. On the server a process is bound to the
// socket of its peer (Child), against whose session it checks the SID.
//
// Descriptions for logs are built only when the logging check
// ProcessLogLevel <= SystemLogLevel passes; with the initial levels (1 and 0)
// it fails. A process can stand in a send queue (IQueueNode).
//
// A received message of up to kInlineText characters with up to
// kInlineParameters parameters is held inside the process object: parsing it
// into a new process allocates nothing beyond the process itself.
class CProcess : public IQueueNode, private NonCopyable {
 public:
  static constexpr size_t kInlineText = 160;
  static constexpr size_t kInlineParameters = 8;

  CProcess();
  ~CProcess() override;

  // A new empty process, as std::make_shared gives one, whose memory comes
  // from processes released earlier on the same thread where there are any:
  // for a receiver that creates one process per message.
  static std::shared_ptr<CProcess> New();

  // Returns the process to the state of a new one (no Child, no token,
  // levels 1 and 0, empty texts and row reader), keeping the storage its
  // texts have grown: for a receiver that parses message after message into
  // a process nobody else holds.
  void Renew();

  std::shared_ptr<ISocket> Child() const { return m_child; }
  void Child(std::shared_ptr<ISocket> value) { m_child = std::move(value); }

  // Parses a received message (given without its terminator): token, SID
  // (-100 without one) and, for a known token, the parameters up to the
  // first one equal to "%$#InVaLID". An unknown token leaves no parameters.
  // Throws Error(Overflow) for a SID beyond 32 bits (token and text are then
  // already set, the parameters untouched) and for more than 32767
  // parameters (the first 32767 are kept).
  void DefineProcessByCommand(int16_t ProcessLogLevel, std::string_view Cmd);
  // Builds a response. When the logging check passes the parameters are read
  // back from the finished text (the terminator is not part of the last one)
  // and the descriptions are built; otherwise the parameters stay as they
  // were. Throws Error(InvalidArgument) for more than 56 parameters.
  void DefineResponseByToken(int16_t ProcessLogLevel, TokensEnum Token,
                             std::initializer_list<std::string_view> params = {});
  void DefineResponseByToken(int16_t ProcessLogLevel, TokensEnum Token,
                             std::span<const std::string> params);
  // Builds a request carrying `sid`. Reads no parameters back and builds no
  // description; CommandSID keeps its value.
  void DefineRequestByToken(int32_t sid, int16_t ProcessLogLevel, TokensEnum Token,
                            std::initializer_list<std::string_view> params = {});
  void DefineRequestByToken(int32_t sid, int16_t ProcessLogLevel, TokensEnum Token,
                            std::span<const std::string> params);

  // Whether CommandSID equals the sid of the session attached to Child.
  // False for CommandSID -100 or -1, and when no Child is bound or no
  // session is attached to it.
  bool ValidateSID() const;
  int32_t CommandSID() const { return m_command_sid; }
  // "'" + description + "' " + "P1=(a) , P2=(b)" ...
  std::string ProcessDescription() const;
  // The peer description of CDataProtocol::SessionDescription.
  std::string SessionDescription(const std::shared_ptr<ISocket>& Child) const;
  // The sid of the session attached to Child, as text; empty when no Child
  // is bound or no session is attached.
  std::string IQueueNode_ID() const;
  // "From: " + remote address of Child + " Process:" + ProcessDescription();
  // the address is empty when no Child is bound.
  std::string IQueueNode_toString() const;
  std::string ID() const override { return IQueueNode_ID(); }
  std::string toString() const override { return IQueueNode_toString(); }

  TokensEnum TokenID() const { return m_token; }
  int16_t Parameters() const { return static_cast<int16_t>(m_params.size()); }
  // Parameter Index (1-based) when Index is in 1..Parameters(); otherwise
  // DefaultValue when PutDefaultValue is true, else "%$#InVaLID" (also for
  // an Index below 1).
  std::string ParameterValue(int16_t Index, bool PutDefaultValue = false,
                             std::string_view DefaultValue = {}) const;
  // Parameter Index (1-based) lent, not copied: valid until the process is
  // defined or renewed again. Empty for an Index outside 1..Parameters().
  std::string_view ParameterView(int16_t Index) const;
  // Hands the whole process text to Child's send operation. Never throws:
  // SentFailedZeroPort when the remote port is 0 (nothing is sent),
  // SentFailedError when no socket is given or the socket fails.
  SendResultEnum Send(const std::shared_ptr<ISocket>& Child);

  int16_t ProcessLogLevel() const { return m_process_log_level; }
  void ProcessLogLevel(int16_t value) { m_process_log_level = value; }
  int16_t SystemLogLevel() const { return m_system_log_level; }
  void SystemLogLevel(int16_t value) { m_system_log_level = value; }

  bool IsValidFirstCommand(std::string_view Cmd) const {
    return m_protocol.IsValidFirstCommand(Cmd);
  }

  // The row-string splitters of CGenerals, arguments handed over as they
  // are (cells, types and errors as CGenerals gives them).
  void SplitOrderAuditRow(std::string_view OrderRow, std::string& Client, std::string& Account,
                          std::string& OrType, std::string& OrID, std::string& OrStatus,
                          std::string& OrIoID, std::string& OrCpIoID, std::string& vTime,
                          std::string& OrNewBuy, std::string& OrNewSell, std::string& OrAmount,
                          std::string& OrCur, std::string& OrOldBuy, std::string& OrOldSell,
                          std::string& OrBuySell, std::string& Comment);
  void SplitPosRow(std::string_view rData, int32_t& vClient, int32_t& vAccount, int32_t& Ticket,
                   std::string& PosTime, OperationTypeEnum& BuySell, double& lots,
                   int32_t& vCur, double& Price, std::string& SLDesc, std::string& TPDesc,
                   int16_t& Checked, double& OriginalAllLots, std::string& SymName,
                   double& OpenInt, std::string& OpenMethod, std::string& OpenNote);
  void SplitOrderRow(std::string_view OrderRow, std::string& vOrder, std::string& vTime,
                     std::string& vBuySell, std::string& vLots, std::string& vCur,
                     std::string& vPrice, std::string& vOpCpLoST, std::string& vCpIoID,
                     std::string& vSL, std::string& vTP, std::string& vStatus,
                     std::string& vNote);

  std::string ParameterDefaultValue() const { return m_protocol.ParameterDefaultValue(); }
  // The row reader: the cell delimiter, loading a row string, its cells.
  std::string RowStringDelimiter() const;
  void AddRowString(std::string_view Row);
  int32_t RowCellsCount() const;
  // Cell Index (1-based) of the loaded row. Throws Error(SubscriptOutOfRange)
  // for an index outside 1..RowCellsCount().
  std::string RowCell(int32_t Index) const;

  // A flag for the host; the process never consults it.
  bool MustBeLogedOn() const { return m_must_be_loged_on; }
  void MustBeLogedOn(bool value) { m_must_be_loged_on = value; }

  // Empties the receive buffer of the protocol object.
  void Reset() { m_protocol.ClearBuffer(); }
  // The length of the process text in characters.
  int32_t SentBytes() const { return static_cast<int32_t>(m_text.size()); }
  // The process text: the whole wire text of a built message, the received
  // text (without terminator) of a parsed one. Valid until the next define.
  std::string_view ProcessText() const { return m_text.view(); }

 private:
  template <typename Params>
  void DefineResponse(int16_t level, TokensEnum token, const Params& params);
  template <typename Params>
  void DefineRequest(int32_t sid, int16_t level, TokensEnum token, const Params& params);
  bool LoggingCheck() const { return m_process_log_level <= m_system_log_level; }
  // Reads the parameters of `text` (m_text's view without its terminator),
  // looking for the first parameter marker from index `from` on.
  void ReadParameters(std::string_view text, size_t from);
  // Reads the SID and the parameters of a received `text` with a known
  // token in one pass, as ReadRequestSid and ReadParameters would; false,
  // with nothing read, when more than kInlineParameters parameter markers
  // follow the head.
  bool ReadSidAndFewParameters(std::string_view text, const detail::MessageHead& head);
  // Keeps the parameters intact before m_text is replaced.
  void KeepParameters();
  std::string_view ParameterText(size_t i) const;
  void BuildDescriptions();
  // The row reader of m_protocol.
  CRow& RowReader() const;
  // The process's CGenerals, made on first use of a splitter.
  CGenerals& Generals();

  std::shared_ptr<ISocket> m_child;
  TokensEnum m_token = UNDEFINED;
  int32_t m_command_sid = kNoSid;
  detail::InlineText<kInlineText> m_text;
  // The parameters, each an offset and length into the text they were read
  // from: m_text right after they were read, m_kept_text once a later define
  // replaced m_text without reading parameters (the old text is copied
  // there, so the parameters stay intact).
  std::string m_kept_text;
  bool m_params_in_text = false;
  detail::ParameterSpans<kInlineParameters> m_params;
  std::string m_description;
  std::string m_param_description;
  int16_t m_process_log_level = 1;
  int16_t m_system_log_level = 0;
  bool m_must_be_loged_on = false;
  CDataProtocol m_protocol;
  // Whether m_protocol may differ from a new one (a request SID was set or
  // its row reader was made).
  mutable bool m_protocol_used = false;
  std::unique_ptr<CGenerals> m_generals;
};

}  // namespace orvane

#endif  // ORVANE_PROTOCOL_PROCESS_H_
