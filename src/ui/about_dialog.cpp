#include "ui/about_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "display/qt_text.h"
#include "state/scope_state.h"
#include "ui/appearance.h"

namespace kr40 {

namespace {

QLabel* Line(QWidget* parent, const char* name, QVBoxLayout* layout)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    layout->addWidget(l);
    return l;
}

}  // namespace

TAboutBox::TAboutBox(ScopeState& st, QWidget* parent) : QDialog(parent), st_(st)
{
    setObjectName("AboutBox");
    setModal(true);
    auto* v = new QVBoxLayout(this);
    QLabel* product = Line(this, "ProductName", v);
    QFont big = product->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    product->setFont(big);
    Line(this, "Version", v);
    Line(this, "Firmware", v);
    Line(this, "FPGA", v);
    Line(this, "SerialNumber", v);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKButton");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    v->addWidget(ok, 0, Qt::AlignHCenter);
    FormShow();
}

void TAboutBox::FormShow()
{
    const AboutTexts t =
        MakeAboutTexts(st_.settings.Russian, st_.link.identity.Get(), st_.transport.ChipId, st_.settings.Debug_kr);
    setWindowTitle(ToQString(t.caption));
    findChild<QLabel*>("ProductName")->setText(ToQString(t.product));
    findChild<QLabel*>("Version")->setText(ToQString(t.software));
    findChild<QLabel*>("Firmware")->setText(ToQString(t.firmware));
    findChild<QLabel*>("FPGA")->setText(ToQString(t.fpga));
    QLabel* serial = findChild<QLabel*>("SerialNumber");
    serial->setText(ToQString(t.serial));
    serial->setVisible(t.serialVisible);
}

}  // namespace kr40
