// The program's element factory: the record code in front of each element
// record chooses the class that reads the record.
//
// What always holds: a code that names no class here (among them -7, 0 and
// 7, which no class ever had) gives null, and the form reader then stops with
// -2; the factory never reads past the record code for such a code.
#include <memory>

#include "runtime/forms/mask.h"
#include "runtime/forms/maskconn.h"
#include "runtime/forms/maskelems.h"
#include "runtime/forms/masklink.h"
#include "runtime/forms/maskmemo.h"
#include "runtime/forms/maskexpr.h"
#include "runtime/forms/maskspecial.h"

namespace forms {

namespace {

class TQmkMaskElementFactory : public TKxMaskElementFactory {
 public:
  TMaskElement* CreateElementFromStream(TKxStream& stream, int16_t version) override {
    if (version == 0) version = kMaskFileVersion;
    const int16_t code = int16_t(stream.ReadInt());
    if (stream.Status != 0) return nullptr;
    switch (code) {
      case kCodeFrame: return new TFrameElement(stream, version);
      case kCodeLabel: return new TLabelElement(stream, version);
      case kCodePageBreak: return new TFormatElement(stream, version);
      case kCodeLine: return new TLineElement(stream, version);
      case kCodeInput: return new TInputField(stream, version);
      case kCodePicture: return new TPictureField(stream, version);
      case kCodeYesNo: return new TYesNoField(stream, version);
      case kCodeSelection:
      case kCodeSelectionOld: return new TSelectionField(stream, version);
      case kCodeLink: return new TLinkField(stream, version);
      case kCodeAutoNo: return new TAutoNoField(stream, version);
      case kCodeMemo: return new TMemoField(stream, version);
      case kCodeRelation: return new TRelationField(stream, version);
      case kCodeExpression: return new TExpressionElement(stream, version);
      case kCodeReference: return new TReferenceElement(stream, version);
      case kCodeFormattedText: return new TFormattedTextElement(stream, version);
      case kCodeTimer: return new TTimerElement(stream, version);
      case kCodeHtmlCommand: return new THTMLCommand(stream, version);
      case kCodeCard: return new TCardElement(stream, version);
      case kCodeLogo: return new TLogoField(stream, version);
      case kCodeMacro: return new TMacroField(stream, version);
      case kCodeConnection: return new TConnectionField(stream, version);
      default: return nullptr;
    }
  }
};

}  // namespace

TKxMaskElementFactory& MaskElementFactory() {
  static TQmkMaskElementFactory factory;
  return factory;
}

}  // namespace forms
