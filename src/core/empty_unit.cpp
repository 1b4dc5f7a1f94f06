namespace orvane { void orvane_empty_unit() {} }
