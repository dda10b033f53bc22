#include "app/qt/DialogForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "app/TtySettingsDlg.h"
#include "shell/Shell.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Limit typing to the field's length, but never below what the model already
// holds: QLineEdit cuts a longer text silently, and the exchange on OK is
// what refuses it with the standard message.
void LimitLength(QLineEdit* edit, const DialogField& f, const std::string& initial) {
  if (f.maxChars > 0) edit->setMaxLength(std::max(f.maxChars, static_cast<int>(initial.size())));
}

// The fields with a length limit hold hexadecimal or decimal numbers; a
// field is as wide as its limit filled with the widest of those digits.
int WidestDigit(const QFontMetrics& fm) {
  int widest = 0;
  for (QChar c : QStringLiteral("0123456789ABCDEFabcdef")) widest = std::max(widest, fm.horizontalAdvance(c));
  return widest;
}

// Pixels the longest value of a field needs: its limit's worth of digits, the
// longer end of a range, and whatever text it starts with or offers.
int LongestValueWidth(const DialogField& f, const QFontMetrics& fm, const QStringList& texts) {
  int chars = f.maxChars;
  if (f.checkRange) {
    chars = std::max({chars, static_cast<int>(std::to_string(f.minValue).size()),
                      static_cast<int>(std::to_string(f.maxValue).size())});
  }
  int width = chars * WidestDigit(fm);
  for (const QString& t : texts) width = std::max(width, fm.horizontalAdvance(t));
  return width;
}

// A line edit keeps its text a little way in from its frame; what the style
// adds around the text is what its own size hint adds to the 17 characters
// it asks for.
void FitLineEdit(QLineEdit* edit, int textWidth) {
  const QFontMetrics fm = edit->fontMetrics();
  const int around = edit->sizeHint().width() - 17 * fm.horizontalAdvance(QLatin1Char('x'));
  // Half a character more than the text keeps the cursor off the frame.
  edit->setMinimumWidth(std::max(edit->minimumWidth(), textWidth + around + fm.averageCharWidth() / 2 + 2));
}

void FitCombo(QComboBox* combo, int textWidth) {
  // The combo's own rule: its contents length in characters, to which the
  // style adds the arrow and the frame; one character more covers the edit
  // field's inner margins.
  const int perChar = std::max(1, combo->fontMetrics().horizontalAdvance(QLatin1Char('X')));
  const int chars = (textWidth + perChar - 1) / perChar + 1;
  if (chars <= combo->minimumContentsLength()) return;
  combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  combo->setMinimumContentsLength(chars);
  combo->setMinimumWidth(combo->sizeHint().width());
}

// A path with no limit of its own is given room for a usual device name.
constexpr int kFreeTextChars = 24;

}  // namespace

DialogForm::DialogForm(CDialogModel& model, QWidget* parent) : QDialog(parent), m_model(model) {
  setWindowTitle(Q(model.Title()));
  setObjectName("DialogForm");
  m_fields = model.Fields();
  std::vector<DialogGroup> groups = model.Groups();

  auto* outer = new QVBoxLayout(this);
  auto* columns = new QHBoxLayout;
  QVBoxLayout* column[2] = {new QVBoxLayout, new QVBoxLayout};
  columns->addLayout(column[0], 1);
  columns->addLayout(column[1], 1);
  std::map<std::string, QFormLayout*> groupLayouts;
  for (const DialogGroup& g : groups) {
    auto* box = new QGroupBox(Q(g.title));
    box->setObjectName(Q("group_" + g.key));
    auto* form = new QFormLayout(box);
    groupLayouts[g.key] = form;
    column[g.column == 1 ? 1 : 0]->addWidget(box);
  }
  column[0]->addStretch(1);
  column[1]->addStretch(1);
  auto* ownArea = new QFormLayout;
  outer->addLayout(ownArea);
  if (groups.empty()) {
    delete columns;  // owns the two empty column layouts
  } else {
    outer->addLayout(columns);
  }

  // The exchange order decides which refusal comes first; the drawing order,
  // when the model gives one, decides where each control sits.
  std::vector<const DialogField*> drawn;
  for (int id : model.DrawingOrder()) {
    for (const DialogField& f : m_fields)
      if (f.id == id) drawn.push_back(&f);
  }
  for (const DialogField& f : m_fields) {
    if (std::find(drawn.begin(), drawn.end(), &f) == drawn.end()) drawn.push_back(&f);
  }

  bool anyBound = false;
  for (const DialogField* field : drawn) {
    const DialogField& f = *field;
    QFormLayout* form = ownArea;
    auto g = groupLayouts.find(f.group);
    if (g != groupLayouts.end()) form = g->second;
    QWidget* control = nullptr;
    switch (f.kind) {
      case FieldKind::Text: {
        auto* edit = new QLineEdit;
        std::string initial = f.text ? *f.text : std::string();
        LimitLength(edit, f, initial);
        edit->setText(Q(initial));
        FitLineEdit(edit, LongestValueWidth(f, edit->fontMetrics(), {Q(initial)}));
        form->addRow(Q(f.label), edit);
        control = edit;
        break;
      }
      case FieldKind::EditCombo: {
        auto* combo = new QComboBox;
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        for (const std::string& c : f.choices) combo->addItem(Q(c));
        std::string initial = f.text ? *f.text : std::string();
        LimitLength(combo->lineEdit(), f, initial);
        QStringList texts{Q(initial)};
        for (const std::string& c : f.choices) texts << Q(c);
        if (f.maxChars == 0) texts << QString(kFreeTextChars, QLatin1Char('x'));
        FitCombo(combo, LongestValueWidth(f, combo->fontMetrics(), texts));
        // Only an entry equal to the text is selected: taking the first entry
        // that merely begins with it would turn a rate of 1920 into 19200 the
        // next time the dialog is confirmed.
        int exact = combo->findText(Q(initial), Qt::MatchFixedString | Qt::MatchCaseSensitive);
        if (exact >= 0) {
          combo->setCurrentIndex(exact);
        } else {
          combo->setCurrentIndex(-1);
          combo->setEditText(Q(initial));
        }
        form->addRow(Q(f.label), combo);
        control = combo;
        break;
      }
      case FieldKind::List: {
        auto* combo = new QComboBox;
        for (const std::string& c : f.choices) combo->addItem(Q(c));
        combo->setCurrentIndex(f.value && *f.value >= 0 && *f.value < combo->count() ? *f.value : -1);
        form->addRow(Q(f.label), combo);
        control = combo;
        break;
      }
      case FieldKind::Check: {
        auto* check = new QCheckBox(Q(f.label));
        check->setChecked(f.value && *f.value != 0);
        form->addRow(check);
        control = check;
        break;
      }
      case FieldKind::Label: {
        auto* label = new QLabel(Q(f.label));
        label->setWordWrap(true);
        form->addRow(label);
        control = label;
        break;
      }
    }
    if (f.kind != FieldKind::Label) anyBound = true;
    control->setObjectName(QString("ctl%1").arg(f.id));
    control->setProperty("controlId", f.id);
    m_controls[f.id] = control;
  }

  // A box that edits nothing (the About box) has only OK.
  auto* buttons =
      new QDialogButtonBox(anyBound ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel : QDialogButtonBox::Ok);
  buttons->setObjectName("buttons");
  connect(buttons, &QDialogButtonBox::accepted, this, &DialogForm::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &DialogForm::reject);
  outer->addWidget(buttons);

  BindPortDevices();
}

void DialogForm::BindPortDevices() {
  // Each port index opens its own device; choosing another port shows the
  // device remembered for it, and edits made for one port stay with it while
  // the form is open.
  auto* tty = dynamic_cast<CTtySettingsDlg*>(&m_model);
  if (!tty) return;
  auto* port = qobject_cast<QComboBox*>(Control(CTtySettingsDlg::IDC_PORT));
  auto* device = qobject_cast<QComboBox*>(Control(CTtySettingsDlg::IDC_DEVICE));
  if (!port || !device) return;
  auto paths = std::make_shared<std::array<QString, 4>>();
  for (size_t i = 0; i < 4; ++i) (*paths)[i] = Q(tty->m_portDevices[i]);
  // Wide enough for the path of whichever port is chosen.
  int widest = 0;
  for (const QString& p : *paths) widest = std::max(widest, device->fontMetrics().horizontalAdvance(p));
  FitCombo(device, widest);
  auto previous = std::make_shared<int>(port->currentIndex());
  if (*previous >= 0 && *previous < 4) (*paths)[static_cast<size_t>(*previous)] = device->currentText();
  connect(port, &QComboBox::currentIndexChanged, device, [paths, previous, device](int index) {
    if (*previous >= 0 && *previous < 4) (*paths)[static_cast<size_t>(*previous)] = device->currentText();
    *previous = index;
    if (index >= 0 && index < 4) device->setEditText((*paths)[static_cast<size_t>(index)]);
  });
}

QWidget* DialogForm::Control(int id) const {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : it->second;
}

std::vector<FieldInput> DialogForm::Inputs() const {
  std::vector<FieldInput> inputs;
  for (const DialogField& f : m_fields) {
    QWidget* w = Control(f.id);
    FieldInput in;
    in.id = f.id;
    switch (f.kind) {
      case FieldKind::Text:
        in.text = static_cast<QLineEdit*>(w)->text().toStdString();
        break;
      case FieldKind::EditCombo:
        in.text = static_cast<QComboBox*>(w)->currentText().toStdString();
        break;
      case FieldKind::List:
        in.value = static_cast<QComboBox*>(w)->currentIndex();
        break;
      case FieldKind::Check:
        in.value = static_cast<QCheckBox*>(w)->isChecked() ? 1 : 0;
        break;
      case FieldKind::Label:
        continue;
    }
    inputs.push_back(in);
  }
  return inputs;
}

void DialogForm::accept() {
  std::string message;
  int badField = 0;
  if (!m_model.Exchange(Inputs(), message, badField)) {
    AfxMessageBox(message, MB_OK | MB_ICONEXCLAMATION);
    if (QWidget* w = Control(badField)) {
      w->setFocus(Qt::OtherFocusReason);
      if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
      if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->lineEdit())
        combo->lineEdit()->selectAll();
    }
    return;
  }
  QDialog::accept();
}
