#include "GuiRig.h"

#include <QSignalSpy>
#include <QtTest>

// This executable carries no resources, so the Greek catalogue cannot be loaded.
class TestGuiNoCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void failedLoadChangesNothing()
    {
        GuiRig f;
        QSignalSpy spy(f.gui.get(), &GUIManager::languageChanged);
        const QVariant before = f.config->get("gui/locale");
        f.gui->setLanguage("de_DE");
        QCOMPARE(spy.size(), 0);
        QVERIFY(f.gui->language().isEmpty());
        QCOMPARE(f.config->get("gui/locale"), before);
    }
};

QTEST_MAIN(TestGuiNoCatalogue)
#include "tst_guinocatalogue.moc"
