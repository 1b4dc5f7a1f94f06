#ifndef ORVANE_ACCOUNTS_DELIVERY_ITEM_H_
#define ORVANE_ACCOUNTS_DELIVERY_ITEM_H_

#include <string>

#include "orvane/core/object.h"

namespace orvane {

// One kind of goods a client can take delivery of. Its ID text is its key in
// CDeliveryItems. Plain data: no field has a side effect.
class CDeliveryItem : public Object, private NonCopyable {
 public:
  CDeliveryItem() = default;

  const std::string& ID() const { return m_id; }
  void ID(std::string value) { m_id = std::move(value); }

  // Where the item's picture is found.
  const std::string& ImageLink() const { return m_image_link; }
  void ImageLink(std::string value) { m_image_link = std::move(value); }

  const std::string& Name() const { return m_name; }
  void Name(std::string value) { m_name = std::move(value); }

  const std::string& Description() const { return m_description; }
  void Description(std::string value) { m_description = std::move(value); }

  // Weight of one unit.
  double Weight() const { return m_weight; }
  void Weight(double value) { m_weight = value; }

  // Whether the item can be chosen.
  bool Enabled() const { return m_enabled; }
  void Enabled(bool value) { m_enabled = value; }

 private:
  std::string m_id;
  std::string m_image_link;
  std::string m_name;
  std::string m_description;
  double m_weight = 0.0;
  bool m_enabled = false;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_DELIVERY_ITEM_H_
