#include "app/TtySettingsDlg.h"

#include <cctype>
#include <climits>
#include <cstdlib>

const std::vector<std::string>& PortChoices() {
  static const std::vector<std::string> v = {"1", "2", "3", "4"};
  return v;
}
const std::vector<std::string>& BaudChoices() {
  static const std::vector<std::string> v = {"976",  "977",  "1200",  "1800",  "2400",  "4800",  "7815",
                                             "8192", "9600", "14400", "19200", "38400", "57600", "115200"};
  return v;
}
const std::vector<std::string>& DataBitsChoices() {
  static const std::vector<std::string> v = {"7", "8"};
  return v;
}
const std::vector<std::string>& ParityChoices() {
  static const std::vector<std::string> v = {"None", "Even", "Odd", "Mark", "Space"};
  return v;
}
const std::vector<std::string>& StopBitsChoices() {
  static const std::vector<std::string> v = {"1", "1.5", "2"};
  return v;
}

CTtySettingsDlg::CTtySettingsDlg() = default;

std::vector<DialogGroup> CTtySettingsDlg::Groups() {
  return {{"com", "COM Options", 0}, {"tty", "TTY Options", 1}};
}

std::vector<DialogField> CTtySettingsDlg::Fields() {
  return {
      ListField(IDC_PORT, "Port:", "com", PortChoices(), &m_port),
      ComboField(IDC_DEVICE, "Device:", "com", 0, m_devices, &m_device),
      ComboField(IDC_BAUD, "Baud Rate:", "com", kBaudMaxChars, BaudChoices(), &m_baudText),
      ListField(IDC_DATA_BITS, "Data Bits:", "com", DataBitsChoices(), &m_dataBits),
      ListField(IDC_PARITY, "Parity:", "com", ParityChoices(), &m_parity),
      ListField(IDC_STOP_BITS, "Stop Bits:", "com", StopBitsChoices(), &m_stopBits),
      NumberField(IDC_INITIAL_BAUD, "Initial Baud", "com", 100, 115200, true, &m_initialBaudText),
      NumberField(IDC_PREBYTE, "Prebyte", "com", 0, 255, false, &m_prebyteText),
      LabelField(IDC_FLOW_LABEL, "Flow:", "com"),
      CheckField(IDC_DTR_DSR, "DTR/DSR", "com", &m_dtrDsr),
      CheckField(IDC_RTS_CTS, "RTS/CTS", "com", &m_rtsCts),
      CheckField(IDC_XON_XOFF, "XON/XOFF", "com", &m_xonXoff),
      CheckField(IDC_DISPLAY_COMM, "Display Comm", "tty", &m_displayComm),
      CheckField(IDC_STANDARD_PROTOCOL, "Standard protocol only", "tty", &m_standardProtocol),
      NumberField(IDC_FAST_BAUD, "Fast baud (0: off)", "tty", 0, 4000000, true, &m_fastBaudText),
      LabelField(IDC_DATA_LABEL, "Data", "tty"),
  };
}

int CTtySettingsDlg::BaudValue() const {
  // Read like the C library's atoi, but without its overflow: the text is at
  // most six characters once validated, and anything longer saturates.
  const char* p = m_baudText.c_str();
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  long long v = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    v = v * 10 + (*p++ - '0');
    if (v > INT_MAX) {
      v = INT_MAX;
      break;
    }
  }
  return static_cast<int>(negative ? -v : v);
}

unsigned CTtySettingsDlg::GetInitialBaud() const {
  return static_cast<unsigned>(std::strtoul(m_initialBaudText.c_str(), nullptr, 10));
}
void CTtySettingsDlg::SetInitialBaud(unsigned value) { m_initialBaudText = std::to_string(value); }
int CTtySettingsDlg::GetPrebyte() const {
  return static_cast<int>(std::strtol(m_prebyteText.c_str(), nullptr, 10));
}
void CTtySettingsDlg::SetPrebyte(int value) { m_prebyteText = std::to_string(value); }

bool CTtySettingsDlg::Validate(std::string& message, int& badField) {
  // Every later OpenPort divides by the rate and a port cannot run at 0 or
  // below, so such a text is refused here where the user can still mend it.
  if (BaudValue() <= 0) {
    message = "Please enter a baud rate above 0.";
    badField = IDC_BAUD;
    return false;
  }
  // A list left without a selection would store index -1 (port "COM0",
  // 6 data bits, ...); a stored "Port" outside 1..4 leads there.
  struct ListCheck {
    int id;
    int value;
    size_t count;
  };
  const ListCheck lists[] = {{IDC_PORT, m_port, PortChoices().size()},
                             {IDC_DATA_BITS, m_dataBits, DataBitsChoices().size()},
                             {IDC_PARITY, m_parity, ParityChoices().size()},
                             {IDC_STOP_BITS, m_stopBits, StopBitsChoices().size()}};
  for (const ListCheck& l : lists) {
    if (l.value < 0 || l.value >= static_cast<int>(l.count)) {
      message = "Please choose one of the values in the list.";
      badField = l.id;
      return false;
    }
  }
  if (m_device.find_first_not_of(" \t") == std::string::npos) {
    message = "Please enter the serial device the port opens.";
    badField = IDC_DEVICE;
    return false;
  }
  return true;
}
