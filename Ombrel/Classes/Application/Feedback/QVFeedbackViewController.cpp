#include "Ombrel/Classes/Application/Feedback/QVFeedbackViewController.h"

#include <QApplication>
#include <QScrollBar>
#include <cmath>

#include "Ombrel/Classes/Application/Services/QVTextAdditions.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVArtwork.h"
#include "QVAppKit/QVCommonUISamples.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVLoadingSpinnerView.h"
#include "QVPlatform/Localization.h"

namespace {

std::string L(const std::string& key) { return qv::QVSLocalization::localizedStringForKey(key); }

// The multi-line message field, dressed as the single-line fields are.
QPlainTextEdit* makeMessageField() {
  auto* field = new QPlainTextEdit();
  field->setFrameShape(QFrame::NoFrame);
  field->setTabChangesFocus(true);
  field->setPlaceholderText(QString::fromStdString(L("Tell us what you think")));
  field->verticalScrollBar()->setStyleSheet(
      "QScrollBar:vertical { background: transparent; width: 8px; margin: 6px 2px 6px 0; }"
      "QScrollBar::handle:vertical { background: rgba(255,255,255,40); border-radius: 3px; min-height: 24px; }"
      "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }");
  return field;
}

QString fieldStyleSheet(const char* type) {
  const QColor theme = QVUIStyle::themeColor();
  return QStringLiteral(
             "%1 { background: rgba(255,255,255,13); color: white; border: 1px solid rgba(255,255,255,22); "
             "border-radius: 8px; padding: 8px 18px 0 18px; selection-background-color: %2; }"
             "%1:focus { border-color: %2; }")
      .arg(QLatin1String(type), theme.name());
}

// Places a widget by its Qt rectangle (top-left origin) inside a parent of height `height`.
void place(QWidget* widget, QRectF rect, double height) {
  if (auto* view = dynamic_cast<QVBasicView*>(widget)) {
    view->setFrame(CGRectMake(rect.x(), height - rect.y() - rect.height(), rect.width(), rect.height()));
  } else {
    widget->setGeometry(rect.toRect());
  }
}

}  // namespace

QVFeedbackViewController::QVFeedbackViewController(std::shared_ptr<QVFeedbackSender> sender)
    : form_(std::make_unique<QVFeedbackForm>(this,
                                             sender ? std::move(sender) : std::make_shared<QVAppFeedbackSender>())) {}

QVFeedbackViewController::~QVFeedbackViewController() = default;

void QVFeedbackViewController::configureTextFields(const std::vector<QVTextField*>& fields) {
  const QFont font = QVFonts::fontWithName("SF Pro Display", 15);
  for (QVTextField* field : fields) {
    if (!field) continue;
    field->setFont(font);
    field->setPlaceholderFont(font);
    field->setTextInsets({5, 20, 0, 20});
  }
}

void QVFeedbackViewController::viewDidLoad() {
  QVViewControllerWithoutNib::viewDidLoad();
  QVView* root = mainView();
  const QFont fieldFont = QVFonts::fontWithName("SF Pro Display", 15);

  headingLabel_ = QVMake<QVLabel>();
  headingLabel_->setFont(QVFonts::fontWithName("SFProDisplay-Semibold", 24));
  headingLabel_->setTitleColor(Qt::white);
  headingLabel_->setTitle(L("Send us your feedback"));
  root->addSubview(headingLabel_);

  subtitleLabel_ = QVMake<QVLabel>();
  subtitleLabel_->setFont(QVFonts::fontWithName("SF Pro Display", 14));
  subtitleLabel_->setTitleColor(QColor(150, 153, 160));
  subtitleLabel_->setTitle(L("What works, what doesn't, what you would like to see next"));
  root->addSubview(subtitleLabel_);

  auto makeField = [&](const char* placeholder) {
    auto* field = new QVTextField();
    field->initialize();
    field->setPlaceholderString(placeholder);
    field->setPlaceholderColor(QColor(118, 122, 132));
    field->setTextColor(Qt::white);
    field->setBackgroundColor(QColor(255, 255, 255, 13));
    field->setBorderColor(QColor(255, 255, 255, 22));
    field->setBorderWidth(1);
    field->setCornerRadius(8);
    field->setVerticallyCenteredText(true);
    // The field paints its own rounded background; the application's style must not paint a panel.
    field->setStyleSheet("QLineEdit { background: transparent; border: none; }");
    field->setParent(root);
    return field;
  };
  nameField_ = makeField("Your name");
  emailField_ = makeField("Your e-mail address");
  configureTextFields({nameField_, emailField_});
  // The focused field's border takes the theme colour.
  for (QVTextField* field : {nameField_, emailField_}) {
    QObject::connect(qApp, &QApplication::focusChanged, field, [field](QWidget*, QWidget* now) {
      field->setBorderColor(now == field ? QVUIStyle::themeColor() : QColor(255, 255, 255, 22));
    });
  }

  feedbackField_ = makeMessageField();
  feedbackField_->setFont(fieldFont);
  feedbackField_->setStyleSheet(fieldStyleSheet("QPlainTextEdit"));
  // Style sheets of this Qt have no placeholder colour: the palette's role gives it.
  QPalette palette = feedbackField_->palette();
  palette.setColor(QPalette::PlaceholderText, QColor(118, 122, 132));
  palette.setColor(QPalette::Text, Qt::white);
  feedbackField_->setPalette(palette);
  feedbackField_->document()->setDocumentMargin(4);
  feedbackField_->setParent(root);

  sendButton_ = QVCommonUISamples::roundedSpringButtonWithTitle(
      QVUppercaseString(L("Send feedback")), QVFonts::fontWithName("SFProDisplay-Bold", 14), Qt::white,
      QVUIStyle::themeColor(), root, [this](QObject*, QVTitledButton*) { form_->sendFeedback(); });
  sendButton_->setKerning(1);
  root->addSubview(sendButton_);

  attachButton_ = QVMake<QVSpringButton>();
  attachButton_->setTitle(L("Attach image"));
  attachButton_->setFontName("SF Pro Display");
  attachButton_->setFontSize(15);
  attachButton_->setFontColor(Qt::white);
  attachButton_->setIconImage(QVArtwork::imageNamed("attach_image", CGSizeMake(16, 17)), CGSizeMake(16, 17));
  attachButton_->setTarget(root);
  attachButton_->setAction([this](QObject*, QVTitledButton*) { form_->attachClicked(); });
  root->addSubview(attachButton_);

  removeAttachmentView_ = QVMake<QVAttachedImageView>();
  removeAttachmentView_->setDelegate(this);
  root->addSubview(removeAttachmentView_);
  removeAttachmentView_->setHidden(true);

  spinnerView_ = QVMake<QVLoadingSpinnerView>();
  spinnerView_->stopAnimating();
  root->addSubview(spinnerView_);
  spinnerView_->setHidden(true);

  QWidget::setTabOrder(nameField_, emailField_);
  QWidget::setTabOrder(emailField_, feedbackField_);
  root->addConstraint([this] { layoutContent(); });
}

void QVFeedbackViewController::layoutContent() {
  QVView* root = mainView();
  const double w = root->width(), h = root->height(), margin = 40, inner = w - 2 * margin;
  place(headingLabel_, QRectF(margin, kTopBarSpace + 22, inner, 32), h);
  place(subtitleLabel_, QRectF(margin, kTopBarSpace + 58, inner, 20), h);
  place(nameField_, QRectF(margin, kTopBarSpace + 98, inner, 44), h);
  place(emailField_, QRectF(margin, kTopBarSpace + 154, inner, 44), h);
  const double sendTop = h - 32 - 46;
  const double attachTop = sendTop - 22 - 26;
  place(feedbackField_, QRectF(margin, kTopBarSpace + 210, inner, attachTop - 14 - (kTopBarSpace + 210)), h);
  place(attachButton_, QRectF(margin - 10, attachTop, 150, 26), h);
  const double attachmentWidth = std::min(inner, std::ceil(removeAttachmentView_->fittingWidth()));
  place(removeAttachmentView_, QRectF(margin, attachTop, attachmentWidth, 26), h);
  place(sendButton_, QRectF(margin, sendTop, inner, 46), h);
  place(spinnerView_, QRectF(w / 2 - 22, sendTop, 44, 46), h);
}

std::string QVFeedbackViewController::nameText() const { return nameField_->text().toStdString(); }
std::string QVFeedbackViewController::emailText() const { return emailField_->text().toStdString(); }
std::string QVFeedbackViewController::messageText() const { return feedbackField_->toPlainText().toStdString(); }

void QVFeedbackViewController::clearMessage() { feedbackField_->clear(); }

void QVFeedbackViewController::setAttachmentVisible(bool visible) {
  attachButton_->setHidden(visible);
  removeAttachmentView_->setHidden(!visible);
}

void QVFeedbackViewController::showAttachment(const std::optional<std::string>& fileName) {
  if (fileName) {
    removeAttachmentView_->setAttachmentFilename(*fileName);
    layoutContent();
  }
  setAttachmentVisible(fileName.has_value());
}

void QVFeedbackViewController::setSpinnerVisible(bool visible) {
  if (visible) {
    spinnerView_->startAnimating();
  } else {
    spinnerView_->stopAnimating();
  }
  spinnerView_->setHidden(!visible);
  sendButton_->setHidden(visible);
  attachButton_->setUserInteractionEnabled(!visible);
  removeAttachmentView_->setUserInteractionEnabled(!visible);
}

void QVFeedbackViewController::closeWindow() {
  if (closeHandler_) closeHandler_();
}
