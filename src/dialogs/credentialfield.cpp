#include "dialogs/credentialfield.h"

namespace quaylet {

qsizetype CountCharacters(const QString& text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        ++count;
    }
    return count;
}

QValidator::State CharacterLimit::validate(QString& input, int&) const
{
    return CountCharacters(input) <= m_limit ? Acceptable : Invalid;
}

CredentialField::CredentialField(qsizetype characterLimit, QWidget* parent)
    : QLineEdit(parent), m_limit(characterLimit)
{
    setValidator(&m_limit);
}

CredentialField::~CredentialField()
{
    setValidator(nullptr);
}

} // namespace quaylet
