#include "MessageBoxes.h"

#include <QMessageBox>
#include <memory>

QString Local(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

namespace {

QMessageBox::Icon IconOf(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::None:
        break;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Error:
    case MsgIcon::Stop:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
        break;
    case MsgButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton StandardOf(MsgAnswer answer) {
    switch (answer) {
    case MsgAnswer::Ok:
        return QMessageBox::Ok;
    case MsgAnswer::Cancel:
        return QMessageBox::Cancel;
    case MsgAnswer::Yes:
        return QMessageBox::Yes;
    case MsgAnswer::No:
        return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

} // namespace

QMessageBox* MakeMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                            MsgIcon icon, MsgButtons buttons) {
    QString body = Local(text);
    body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    auto* box = new QMessageBox(IconOf(icon), Local(caption), body, ButtonsOf(buttons), owner);
    box->setDefaultButton(StandardOf(DefaultAnswer(buttons)));
    box->setEscapeButton(StandardOf(ClosedBoxAnswer(buttons)));
    return box;
}

MsgAnswer AnswerOfResult(int result, MsgButtons buttons) {
    switch (result) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Cancel:
        return MsgAnswer::Cancel;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return ClosedBoxAnswer(buttons);
    }
}

int ResultOf(MsgAnswer answer) {
    return StandardOf(answer);
}

MsgAnswer ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         MsgIcon icon, MsgButtons buttons) {
    std::unique_ptr<QMessageBox> box(MakeMessageBox(owner, text, caption, icon, buttons));
    return AnswerOfResult(box->exec(), buttons);
}
