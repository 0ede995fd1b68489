#include "skin/skinaccessible.h"

#include "skin/skinstatic.h"
#include "skin/smoothprogress.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QVariant>

#include <algorithm>
#include <cstdint>

namespace quaylet {

namespace {

class ProgressAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit ProgressAccessible(CSmoothProgress& progress)
        : QAccessibleWidget(&progress, QAccessible::ProgressBar), m_progress(progress)
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return QStringLiteral("%1%").arg(Percent());
        return QAccessibleWidget::text(kind);
    }

    QVariant currentValue() const override { return m_progress.Pos(); }
    void setCurrentValue(const QVariant&) override {} // the transfer sets it, not the user
    QVariant maximumValue() const override { return std::max(m_progress.Maximum(), 0); }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

  private:
    int Percent() const
    {
        const int maximum = m_progress.Maximum();
        return maximum > 0 ? static_cast<int>(int64_t{m_progress.Pos()} * 100 / maximum) : 0;
    }

    CSmoothProgress& m_progress;
};

class SkinStaticAccessible final : public QAccessibleWidget {
  public:
    explicit SkinStaticAccessible(CSkinStatic& label)
        : QAccessibleWidget(&label, QAccessible::StaticText), m_label(label)
    {
    }

    QAccessible::Role role() const override { return m_label.AccessibleRole(); }

    QString text(QAccessible::Text kind) const override
    {
        // What the label shows is its name, unless it was given one (a label
        // whose words are painted into the artwork).
        if (kind == QAccessible::Name && m_label.accessibleName().isEmpty())
            return m_label.text();
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (m_label.IsClickable())
            state.linked = m_label.IsLink();
        return state;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (m_label.IsClickable())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& action) override
    {
        if (action == pressAction() && m_label.IsClickable()) {
            m_label.Activate();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

  private:
    CSkinStatic& m_label;
};

QAccessibleInterface* SkinInterface(const QString& className, QObject* object)
{
    // Qt's accessibility cache owns what this returns.
    if (className == QLatin1String(CSmoothProgress::staticMetaObject.className()))
        return new ProgressAccessible(*static_cast<CSmoothProgress*>(object));
    if (className == QLatin1String(CSkinStatic::staticMetaObject.className()))
        return new SkinStaticAccessible(*static_cast<CSkinStatic*>(object));
    return nullptr;
}

} // namespace

void InstallSkinAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&SkinInterface);
        return true;
    }();
    (void)installed;
}

void AnnounceAlert(QWidget& control)
{
    QAccessibleEvent shown(&control, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
    QAccessibleEvent alert(&control, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

} // namespace quaylet
