#include "ui/about_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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

QString Q(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
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
    setWindowTitle(Q(t.caption));
    findChild<QLabel*>("ProductName")->setText(Q(t.product));
    findChild<QLabel*>("Version")->setText(Q(t.software));
    findChild<QLabel*>("Firmware")->setText(Q(t.firmware));
    findChild<QLabel*>("FPGA")->setText(Q(t.fpga));
    QLabel* serial = findChild<QLabel*>("SerialNumber");
    serial->setText(Q(t.serial));
    serial->setVisible(t.serialVisible);
}

}  // namespace kr40
