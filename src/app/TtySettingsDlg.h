// "TTY Settings...": the link settings, the Display Comm flag and, on this
// platform, the device each port index opens.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "shell/DialogModel.h"

class CTtySettingsDlg : public CDialogModel {
 public:
  enum {
    IDC_BAUD = 1006,
    IDC_PORT = 1007,
    IDC_DATA_BITS = 1008,
    IDC_PARITY = 1009,
    IDC_STOP_BITS = 1010,
    IDC_DTR_DSR = 1011,
    IDC_RTS_CTS = 1012,
    IDC_XON_XOFF = 1013,
    IDC_DISPLAY_COMM = 1015,
    IDC_INITIAL_BAUD = 1039,
    IDC_PREBYTE = 1040,
    IDC_DEVICE = 1041,
    IDC_FLOW_LABEL = 1042,
    IDC_DATA_LABEL = 1043,
    IDC_STANDARD_PROTOCOL = 1044,
    IDC_FAST_BAUD = 1045,
  };
  static constexpr int kBaudMaxChars = 6;

  CTtySettingsDlg();

  std::string Title() const override { return "TTY Settings..."; }
  std::vector<DialogField> Fields() override;
  std::vector<DialogGroup> Groups() override;
  bool Validate(std::string& message, int& badField) override;

  // The rate the baud text stands for: its leading decimal digits (with an
  // optional sign), 0 when it has none.
  int BaudValue() const;
  unsigned GetInitialBaud() const;
  void SetInitialBaud(unsigned value);
  int GetPrebyte() const;
  void SetPrebyte(int value);

  // Selection indexes and check states.
  int m_port = -1;
  int m_parity = -1;
  int m_dtrDsr = 0;
  int m_dataBits = -1;
  int m_rtsCts = 0;
  int m_xonXoff = 0;
  int m_stopBits = -1;
  int m_displayComm = 0;
  // Keep to the standard talker commands even with a talker that offers
  // checked block transfers.
  int m_standardProtocol = 0;
  // The rate our talker and the port move to after a download; "0": none.
  std::string m_fastBaudText = "0";
  // Texts.
  std::string m_baudText;
  std::string m_initialBaudText = "2400";
  std::string m_prebyteText = "0";
  std::string m_device;  // the device path of the chosen port
  // What the form offers: the devices present, and each port's stored path so
  // that choosing another port shows that port's device.
  std::vector<std::string> m_devices;
  std::array<std::string, 4> m_portDevices;
};

// The lists of the dialog, in the order their indexes are stored.
const std::vector<std::string>& PortChoices();
const std::vector<std::string>& BaudChoices();
const std::vector<std::string>& DataBitsChoices();
const std::vector<std::string>& ParityChoices();
const std::vector<std::string>& StopBitsChoices();
