#ifndef ORVANE_IO_TLS_OPTIONS_H_
#define ORVANE_IO_TLS_OPTIONS_H_

#include <cstdint>
#include <string>

namespace orvane {

// TLS settings of a socket or a listener. Plain TCP is the default
// (`enabled` false); the other fields are read only when TLS is on.
//
// A terminal-side socket verifies the server's certificate chain against
// `ca_file` (PEM; empty means the system's trusted store) and the host name
// (`server_name`, or the host given to Connect when empty). A connection
// whose certificate fails either check closes without ever reaching the
// connected state.
//
// A listener presents `certificate_file` (PEM chain) with
// `private_key_file` (PEM) and does not ask clients for certificates. It
// drops a connection whose handshake has not finished within
// `handshake_timeout_ms`.
struct TlsOptions {
  bool enabled = false;          // TLS on
  std::string ca_file;           // trusted CAs (PEM); empty: the system's store
  std::string server_name;       // the name to verify; empty: the host connected to
  std::string certificate_file;  // a listener's certificate chain (PEM)
  std::string private_key_file;  // a listener's private key (PEM)
  int32_t handshake_timeout_ms = 10000;  // a listener's bound on one handshake
};

}  // namespace orvane

#endif  // ORVANE_IO_TLS_OPTIONS_H_
