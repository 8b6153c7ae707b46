// The paper, option, rotation and separation pages on Qt's real widgets (offscreen), replayed
// with QTest: the unit popup, a stepper's arrows, an orientation cell, and the barcode sheet
// opened from the separation page's button give the headless scenarios' record. The rules are
// the headless tests'; these prove the wiring through the adapter.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "QtFrame.h"
#include "platform/ui/TableView.h"

namespace ferrolite::dialog::testing {
namespace {

// A check box or radio button takes clicks on its indicator and label, not on the rest of its
// grid cell.
void clickIndicator(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

TEST(PaperOptionPagesQt, PaperPageThroughTheRealWidgets) {
  QtFrame q("dialog-paper-qt");
  q.f.record.bPaperSize = 7;  // A5: 1748 x 2480
  q.f.record.wWidth = 1748;
  q.f.record.wLength = 2480;
  q.f.open();
  ASSERT_TRUE(q.f.user.selectTab(q.f.tabs(), "KriTabPaper"));
  auto* units = q.widget<QComboBox>(q.f.window(), "mPopupUnits");
  ASSERT_NE(units, nullptr);
  units->setFocus();
  QTest::keyClick(units, Qt::Key_Down);  // inch to millimetre
  EXPECT_EQ(q.f.record.bPaperSizeUnit, 1);
  auto* width = q.widget<QLineEdit>(q.f.window(), "mTextFieldWidth");
  ASSERT_NE(width, nullptr);
  EXPECT_EQ(width->text().toStdString(), "148.0");

  QWidget* stepper = q.widget<QWidget>(q.f.window(), "mStepperWidth");
  ASSERT_NE(stepper, nullptr);
  auto* down = stepper->findChild<QToolButton*>("down");
  ASSERT_NE(down, nullptr);
  QTest::mouseClick(down, Qt::LeftButton);
  EXPECT_EQ(q.f.record.bPaperSize, kPageCustom);
  EXPECT_EQ(width->text().toStdString(), "147.9");

  // A5 again, then landscape.
  QWidget* orientation = q.widget<QWidget>(q.f.window(), "pPortraitLanscape");
  ASSERT_NE(orientation, nullptr);
  const auto cells = orientation->findChildren<QRadioButton*>();
  ASSERT_EQ(cells.size(), 2);
  auto* sizes = q.widget<QComboBox>(q.f.window(), "mPopupPaperTabPaperSize");
  ASSERT_NE(sizes, nullptr);
  int a5 = -1;
  const ui::ArrayController& list = *q.f.window().arrayController("mPaperNameController");
  for (std::size_t i = 0; i < list.count(); ++i) {
    if (list.row(i).integer("mPageID").valueOr(-1) == 7) a5 = static_cast<int>(i);
  }
  ASSERT_GE(a5, 0);
  sizes->setCurrentIndex(a5);
  emit sizes->activated(a5);
  EXPECT_EQ(q.f.record.bPaperSize, 7);
  EXPECT_TRUE(cells[1]->isEnabled());
  clickIndicator(cells[1]);
  EXPECT_EQ(q.f.record.bPaperDirection, 1);
  EXPECT_EQ(q.f.record.wWidth, 2480);
}

TEST(PaperOptionPagesQt, BarcodeSheetFromTheSeparationPage) {
  QtFrame q("dialog-separation-qt");
  q.f.record.bBarcodeDetection = 0;
  q.f.record.dwSelectBarcode = 0;
  q.f.open();
  ASSERT_TRUE(q.f.user.selectTab(q.f.tabs(), "KriTabSeparation"));
  auto* detection = q.widget<QCheckBox>(q.f.window(), "mBtnBarCodeEnable");
  ASSERT_NE(detection, nullptr);
  clickIndicator(detection);
  EXPECT_EQ(q.f.record.bBarcodeDetection, 1);
  QPushButton* types = q.button("mBtnSelecBarcodeTypes_Separation");
  ASSERT_NE(types, nullptr);
  ASSERT_TRUE(types->isEnabled());
  QTest::mouseClick(types, Qt::LeftButton);
  ui::Window& sheet = q.f.dialog->pages().option.barcodeSheet();
  ASSERT_EQ(q.f.window().attachedSheet(), &sheet);
  auto* all = q.widget<QCheckBox>(sheet, "mBtnSBTCodeALL");
  ASSERT_NE(all, nullptr);
  EXPECT_TRUE(all->isChecked());
  clickIndicator(all);
  EXPECT_EQ(q.f.record.dwSelectBarcode, kBarcodeEverySymbology);
  auto* qr = q.widget<QCheckBox>(sheet, "mBtnSBTQRCode");
  ASSERT_NE(qr, nullptr);
  clickIndicator(qr);
  EXPECT_EQ(q.f.record.dwSelectBarcode, kBarcodeEverySymbology & ~(1u << 11));
  QTest::mouseClick(q.widget<QPushButton>(sheet, "mBtnSelecBarcodeTypesOK"), Qt::LeftButton);
  EXPECT_EQ(q.f.window().attachedSheet(), nullptr);
  EXPECT_EQ(q.f.record.dwSelectBarcode, kBarcodeEverySymbology & ~(1u << 11));
}

}  // namespace
}  // namespace ferrolite::dialog::testing
