// The message framing (CDataProtocol) and the message object (CProcess):
// building requests and responses, reading a received message, and cutting
// a received stream into messages. Parameters are lists of str.

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bindings.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/protocol/tokens_enum.h"

namespace py = pybind11;

namespace orvane::python {

namespace {

using Parameters = std::vector<std::string>;

void BindTokens(py::module_& m) {
  py::enum_<TokensEnum> tokens(m, "TokensEnum");
#define X(name) tokens.value(#name, name);
#include "tokens.inc"
#undef X
  tokens.export_values();
  py::implicitly_convertible<py::int_, TokensEnum>();
}

// The complete messages of a received chunk, without their terminators.
std::vector<std::string> SplitBuffer(CDataProtocol& self, std::string_view received) {
  std::vector<std::string> rows;
  const int32_t count = self.SplitBuffer(received, rows);
  return std::vector<std::string>(rows.begin() + 1, rows.begin() + 1 + count);
}

void BindDataProtocol(py::module_& m) {
  py::class_<CDataProtocol, std::shared_ptr<CDataProtocol>>(m, "CDataProtocol")
      .def(py::init<>())
      .def("TokenPublicDesc", &CDataProtocol::TokenPublicDesc, py::arg("Token"))
      .def("TokenDescription", &CDataProtocol::TokenDescription, py::arg("TokenID"))
      .def("TokenEnd", &CDataProtocol::TokenEnd)
      .def("ParameterDefaultValue", &CDataProtocol::ParameterDefaultValue)
      .def("InvalidParameter", &CDataProtocol::InvalidParameter)
      .ORVANE_PROPERTY(CDataProtocol, int32_t, sid)
      .def(
          "Request",
          [](const CDataProtocol& self, int32_t token, const Parameters& params) {
            return self.Request(token, std::span<const std::string>(params));
          },
          py::arg("Token"), py::arg("params") = Parameters())
      .def(
          "Response",
          [](const CDataProtocol& self, int32_t token, const Parameters& params) {
            return self.Response(token, std::span<const std::string>(params));
          },
          py::arg("Token"), py::arg("params") = Parameters())
      .def("TokenID", &CDataProtocol::TokenID, py::arg("Cmd"))
      .def("RequestSID", &CDataProtocol::RequestSID, py::arg("Cmd"))
      .def("ParameterValue", &CDataProtocol::ParameterValue, py::arg("Cmd"), py::arg("Index"))
      .def("SplitBuffer", &SplitBuffer, py::arg("RecievedBuffer"),
           "Appends a received chunk and gives the complete messages, without their "
           "terminators, in arrival order; the unterminated tail waits for the next chunk.")
      .def("ClearBuffer", &CDataProtocol::ClearBuffer)
      .def("Buffer", &CDataProtocol::Buffer)
      .def("IsValidFirstCommand", &CDataProtocol::IsValidFirstCommand, py::arg("Cmd"))
      .def_static("ErrorMsg", &CDataProtocol::ErrorMsg, py::arg("err"))
      .def("TestUniquness", &CDataProtocol::TestUniquness);
}

void BindProcess(py::module_& m) {
  py::class_<CProcess, std::shared_ptr<CProcess>>(m, "CProcess")
      .def(py::init<>())
      .def("DefineProcessByCommand", &CProcess::DefineProcessByCommand,
           py::arg("ProcessLogLevel"), py::arg("Cmd"))
      .def(
          "DefineResponseByToken",
          [](CProcess& self, int16_t level, TokensEnum token, const Parameters& params) {
            self.DefineResponseByToken(level, token, std::span<const std::string>(params));
          },
          py::arg("ProcessLogLevel"), py::arg("Token"), py::arg("params") = Parameters())
      .def(
          "DefineRequestByToken",
          [](CProcess& self, int32_t sid, int16_t level, TokensEnum token,
             const Parameters& params) {
            self.DefineRequestByToken(sid, level, token, std::span<const std::string>(params));
          },
          py::arg("sid"), py::arg("ProcessLogLevel"), py::arg("Token"),
          py::arg("params") = Parameters())
      .def("CommandSID", &CProcess::CommandSID)
      .def("TokenID", &CProcess::TokenID)
      .def("Parameters", &CProcess::Parameters)
      .def("ParameterValue", &CProcess::ParameterValue, py::arg("Index"),
           py::arg("PutDefaultValue") = false, py::arg("DefaultValue") = "")
      .def("ProcessDescription", &CProcess::ProcessDescription)
      .def("ProcessText", [](const CProcess& self) { return std::string(self.ProcessText()); })
      .def("SentBytes", &CProcess::SentBytes)
      .ORVANE_PROPERTY(CProcess, int16_t, ProcessLogLevel)
      .ORVANE_PROPERTY(CProcess, int16_t, SystemLogLevel)
      .ORVANE_PROPERTY(CProcess, bool, MustBeLogedOn)
      .def("IsValidFirstCommand", &CProcess::IsValidFirstCommand, py::arg("Cmd"))
      .def("ParameterDefaultValue", &CProcess::ParameterDefaultValue)
      .def("RowStringDelimiter", &CProcess::RowStringDelimiter)
      .def("AddRowString", &CProcess::AddRowString, py::arg("Row"))
      .def("RowCellsCount", &CProcess::RowCellsCount)
      .def("RowCell", &CProcess::RowCell, py::arg("Index"))
      .def("Reset", &CProcess::Reset);
}

}  // namespace

void BindProtocol(py::module_& m) {
  BindTokens(m);
  BindDataProtocol(m);
  BindProcess(m);
}

}  // namespace orvane::python
