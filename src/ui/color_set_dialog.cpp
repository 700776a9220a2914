#include "ui/color_set_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "core/prompts.h"
#include "display/qt_text.h"
#include "state/scope_state.h"
#include "ui/appearance.h"

namespace kr40 {

TForm_ColorSet::TForm_ColorSet(ScopeState& st, Prompts& prompts, std::function<void()> applyAndRedraw, QWidget* parent)
    : QDialog(parent), st_(st), prompts_(prompts), apply_(std::move(applyAndRedraw))
{
    setObjectName("Form_ColorSet");
    setModal(true);
    auto* grid = new QGridLayout(this);
    for (int role = 0; role < ColorCount; ++role) {
        auto* button = new QPushButton(this);
        button->setObjectName(ColourRoleButtons()[static_cast<std::size_t>(role)]);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, role] { RoleClicked(role); });
        auto* swatch = new QLabel(this);
        // Panel_cl_A1 ... Panel_clExtra_Info, beside Button_cl_A1 ... Button_Extra_Info.
        QString panel = button->objectName().replace("Button_", "Panel_");
        if (!panel.startsWith("Panel_cl")) panel.replace("Panel_", "Panel_cl");
        swatch->setObjectName(panel);
        swatch->setFixedSize(40, 20);
        swatch->setFrameShape(QFrame::Panel);
        swatch->setFrameShadow(QFrame::Sunken);
        swatch->setAutoFillBackground(true);
        swatches_[static_cast<std::size_t>(role)] = swatch;
        grid->addWidget(swatch, role % 6, (role / 6) * 2);
        grid->addWidget(button, role % 6, (role / 6) * 2 + 1);
    }
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("Button_OK");
    auto* cancel = new QPushButton(this);
    cancel->setObjectName("Button_Cancel");
    auto* defaults = new QPushButton(this);
    defaults->setObjectName("Button_clDefault");
    for (QPushButton* b : {ok, cancel, defaults}) b->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(defaults, &QPushButton::clicked, this, &TForm_ColorSet::DefaultClicked);
    grid->addWidget(defaults, 6, 0, 1, 2);
    grid->addWidget(ok, 6, 2);
    grid->addWidget(cancel, 6, 3);
}

void TForm_ColorSet::FormShow()
{
    const bool ru = st_.settings.Russian;
    const ColourDialogTexts& t = ColourDialogCaptions();
    setWindowTitle(ToQString(Tr(t.caption, ru)));
    for (int role = 0; role < ColorCount; ++role)
        findChild<QPushButton*>(ColourRoleButtons()[static_cast<std::size_t>(role)])
            ->setText(ToQString(Tr(t.rows[static_cast<std::size_t>(role)], ru)));
    findChild<QPushButton*>("Button_Cancel")->setText(ToQString(Tr(t.cancel, ru)));
    findChild<QPushButton*>("Button_clDefault")->setText(ToQString(Tr(t.defaults, ru)));
    findChild<QPushButton*>("Button_Cancel")->setFocus();
    PaintSwatches();
}

bool TForm_ColorSet::Run()
{
    const ColourSession session(st_.settings);
    FormShow();
    const bool cancelled = exec() != QDialog::Accepted;
    return session.Finish(st_.settings, cancelled);
}

void TForm_ColorSet::PaintSwatches()
{
    for (int role = 0; role < ColorCount; ++role) {
        QLabel* sw = swatches_[static_cast<std::size_t>(role)];
        QPalette pal = sw->palette();
        pal.setColor(QPalette::Window, ToQColor(st_.settings.Colors[static_cast<std::size_t>(role)]));
        sw->setPalette(pal);
    }
}

void TForm_ColorSet::RoleClicked(int role)
{
    std::uint32_t& colour = st_.settings.Colors[static_cast<std::size_t>(role)];
    if (std::optional<std::uint32_t> chosen = prompts_.ChooseColor(colour)) colour = *chosen & 0xFFFFFF;
    PaintSwatches();
    if (apply_) apply_();
}

void TForm_ColorSet::DefaultClicked()
{
    LoadDefaultColours(st_.settings);
    PaintSwatches();
    if (apply_) apply_();
}

}  // namespace kr40
