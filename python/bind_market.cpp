// Symbols and the symbol list.

#include <memory>
#include <string>

#include "bindings.h"
#include "enums.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"

namespace py = pybind11;

namespace orvane::python {

namespace {

void BindMarketEnums(py::module_& m) {
  BindEnum<OperationTypeEnum>(m, "OperationTypeEnum",
                              {{"BuyType", BuyType},
                               {"SellType", SellType},
                               {"BuyStopType", BuyStopType},
                               {"SellStopType", SellStopType}});
  BindEnum<CommCalcTypeEnum>(m, "CommCalcTypeEnum",
                             {{"ON_OPEN_TYPE", ON_OPEN_TYPE}, {"ON_CLOSE_TYPE", ON_CLOSE_TYPE}});
  BindEnum<SymbolTypeEnum>(m, "SymbolTypeEnum",
                           {{"symbol_type", symbol_type}, {"Group_Type", Group_Type}});
  BindEnum<SpreadCalTypeEnum>(m, "SpreadCalTypeEnum",
                              {{"FromBidSpread", FromBidSpread}, {"FromAvgSpread", FromAvgSpread}});
}

void BindSymbolPrices(py::class_<CSymbol, std::shared_ptr<CSymbol>>& cls) {
  cls.ORVANE_PROPERTY(CSymbol, double, Bid)
      .ORVANE_PROPERTY(CSymbol, double, Ask)
      .ORVANE_PROPERTY(CSymbol, double, High)
      .ORVANE_PROPERTY(CSymbol, double, Low)
      .ORVANE_PROPERTY(CSymbol, double, Last)
      .ORVANE_READONLY(CSymbol, LastPrice)
      .ORVANE_PROPERTY(CSymbol, const std::string&, LastQuteTime)
      .ORVANE_PROPERTY(CSymbol, double, DayOpenPrice)
      .ORVANE_PROPERTY(CSymbol, double, DayClosePrice)
      .def("Price", &CSymbol::Price, py::arg("OpType"))
      .def("PriceWithSpread", &CSymbol::PriceWithSpread, py::arg("OpType"))
      .def("BidWithSpread", &CSymbol::BidWithSpread)
      .def("AskWithSpread", &CSymbol::AskWithSpread)
      .def("ClosePriceWithSpread", &CSymbol::ClosePriceWithSpread, py::arg("vBuySell"))
      .def("BidAskSpread", &CSymbol::BidAskSpread)
      .def("Pips", &CSymbol::Pips, py::arg("vPips"))
      .def("FormatPrice", &CSymbol::FormatPrice, py::arg("Price"))
      .def("CommissionValue", &CSymbol::CommissionValue, py::arg("lots"))
      .def("DealProfit", &CSymbol::DealProfit, py::arg("Price"), py::arg("close_price"),
           py::arg("lots"), py::arg("BuySell"), py::arg("Interest"), py::arg("RemainOpenComm"),
           py::arg("CommCalcType"), py::arg("RefPrice") = -1.0,
           py::arg("ComputeCommInt") = true);
}

void BindSymbol(py::module_& m) {
  py::class_<CSymbol, std::shared_ptr<CSymbol>> cls(m, "CSymbol");
  cls.ORVANE_PROPERTY(CSymbol, int32_t, ID)
      .ORVANE_PROPERTY(CSymbol, const Variant&, Name)
      .ORVANE_PROPERTY(CSymbol, const Variant&, Description)
      .ORVANE_PROPERTY(CSymbol, SymbolTypeEnum, SymbolType)
      .ORVANE_PROPERTY(CSymbol, const Variant&, PipLocation)
      .ORVANE_PROPERTY(CSymbol, const Variant&, RefID)
      .ORVANE_READONLY(CSymbol, RefSymbol)
      .ORVANE_PROPERTY(CSymbol, bool, isUsed)
      .ORVANE_PROPERTY(CSymbol, bool, isDisplay)
      .ORVANE_PROPERTY(CSymbol, double, Factor)
      .ORVANE_PROPERTY(CSymbol, int16_t, PriceCase)
      .ORVANE_PROPERTY(CSymbol, int16_t, RefPriceCase)
      .ORVANE_PROPERTY(CSymbol, const Variant&, Spread)
      .ORVANE_PROPERTY(CSymbol, int16_t, SourcePlus)
      .ORVANE_PROPERTY(CSymbol, int16_t, SpreadOffset)
      .ORVANE_PROPERTY(CSymbol, int16_t, PriceOffset)
      .ORVANE_PROPERTY(CSymbol, int16_t, ClientPriceOffset)
      .ORVANE_PROPERTY(CSymbol, double, Commission)
      .ORVANE_PROPERTY(CSymbol, double, MaxLots)
      .ORVANE_PROPERTY(CSymbol, double, MinLots)
      .def("__repr__", [](const CSymbol& s) {
        return "<CSymbol " + std::to_string(s.ID()) + " " + s.Name().TextValue() + ">";
      });
  BindSymbolPrices(cls);
}

void BindSymbols(py::module_& m) {
  py::class_<CSymbols, std::shared_ptr<CSymbols>> cls(m, "CSymbols");
  cls.def(py::init<>())
      .def("SetSymbolsRefSymbols", &CSymbols::SetSymbolsRefSymbols)
      .def("UpdateParameters", &CSymbols::UpdateParameters, py::arg("vPars"))
      .def("Remove", &CSymbols::Remove, py::arg("vntIndexKey"))
      .def("Deallocate", &CSymbols::Deallocate);
  BindCollection<decltype(cls), CSymbols>(cls);
}

}  // namespace

void BindMarket(py::module_& m) {
  BindMarketEnums(m);
  BindSymbol(m);
  BindSymbols(m);
}

}  // namespace orvane::python
