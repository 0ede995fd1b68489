#pragma once

// A field for a user name or a password whose length limit counts characters,
// not the UTF-16 units that QLineEdit::setMaxLength counts: a name made of
// characters outside the basic plane still takes its full 30.

#include <QLineEdit>
#include <QValidator>

namespace quaylet {

// Accepts a text of at most `limit` characters (code points).
class CharacterLimit final : public QValidator {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CharacterLimit)

public:
    explicit CharacterLimit(qsizetype limit, QObject* parent = nullptr) : QValidator(parent), m_limit(limit) {}
    State validate(QString& input, int& pos) const override;

private:
    qsizetype m_limit;
};

class CredentialField final : public QLineEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CredentialField)

public:
    CredentialField(qsizetype characterLimit, QWidget* parent);
    ~CredentialField() override;

private:
    CharacterLimit m_limit;
};

// Characters (code points) in text; a lone surrogate counts as one.
qsizetype CountCharacters(const QString& text);

} // namespace quaylet
