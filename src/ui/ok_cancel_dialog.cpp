#include "ui/ok_cancel_dialog.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace kr40 {

QHBoxLayout* OkCancelRow(QDialog& dialog, QPushButton*& ok, QPushButton*& cancel)
{
    ok = new QPushButton("OK", &dialog);
    ok->setObjectName("Button_OK");
    cancel = new QPushButton(&dialog);
    cancel->setObjectName("Button_Cancel");
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);  // Escape too
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

}  // namespace kr40
