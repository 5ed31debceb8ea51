// SPDX-License-Identifier: GPL-3.0-or-later
#include "registers/RegisterDefinitions.h"

namespace qm {
namespace {

constexpr int kCaptionLeft = 240;
constexpr int kCaptionWidth = 1215;
constexpr int kCaptionHeight = 255;
constexpr int kBoxLeft = 1680;
constexpr int kBoxWidth = 3495;
constexpr int kBoxHeight = 495;

RegisterFieldRow fieldRow(const char* box, const char* field, const char* label, const char* caption,
    const char* designText, int top, int boxHeight = kBoxHeight, int captionTop = -1)
{
    return {QString::fromLatin1(box), QString::fromLatin1(field), QString::fromLatin1(label),
        QString::fromLatin1(caption), QString::fromLatin1(designText), {kBoxLeft, top, kBoxWidth, boxHeight},
        {kCaptionLeft, captionTop < 0 ? top : captionTop, kCaptionWidth, kCaptionHeight}};
}

// What the three registers laid out below Projects share.
void lowerLayout(RegisterDefinition& d, int clientHeight, int buttonRow1)
{
    d.clientWidth = 7380;
    d.clientHeight = clientHeight;
    d.upperOffset = 120;
    d.serialRect = {240, 840, 1335, 255};
    d.check1Rect = {1680, 1080, 975, 375};
    d.statusRect = {2760, 1080, 2415, 255};
    d.idBoxRect = {6480, 240, 735, 285};
    d.buttonRow1 = buttonRow1;
    d.buttonRow2 = buttonRow1 + 600;
}

RegisterDefinition makeProjects()
{
    RegisterDefinition d;
    d.windowName = QStringLiteral("Projects");
    d.caption = QStringLiteral("Project File Information");
    d.heading = QStringLiteral("Project Files Information");
    d.table = QStringLiteral("Projects");
    d.serialField = QStringLiteral("SrNo");
    d.fileNameField = QStringLiteral("FileName");
    d.rows = {
        fieldRow("Text1", "FileName", "Label1", "File Name", "Enter the name of file", 1320),
        fieldRow("Text3", "Completed", "Label3", "Completed", "If project is completed or not", 2040),
        fieldRow("Text2", "Deadline", "Label2", "Deadline", "Date before project has to be complete", 2760),
        fieldRow("Text4", "Group", "Label4", "Group", "Group involved in this project", 3480),
    };
    d.idBox = QStringLiteral("Text6");
    d.idField = QStringLiteral("ID");
    d.statusLabel = QStringLiteral("Label7");
    d.duplicateCheck = false;
    d.afterDelete = AfterDelete::StepBack;
    d.clientWidth = 7350;
    d.clientHeight = 5460;
    d.upperOffset = 0;
    d.headingRect = {120, 120, 3375, 375};
    d.serialRect = {240, 720, 1335, 255};
    d.check1Rect = {1680, 960, 855, 255};
    d.statusRect = {2760, 960, 2415, 255};
    d.idBoxRect = {6360, 120, 855, 285};
    d.buttonRow1 = 4320;
    d.buttonRow2 = 4920;
    return d;
}

RegisterDefinition makeDocuments()
{
    RegisterDefinition d;
    d.windowName = QStringLiteral("Documents");
    d.caption = QStringLiteral("Documents");
    d.heading = QStringLiteral("Document Files Informations");
    d.table = QStringLiteral("Documents");
    d.serialField = QStringLiteral("Sr_NO");
    d.fileNameField = QStringLiteral("FileName");
    d.rows = {
        fieldRow("Text1", "FileName", "Label1", "File Name", "Enter the name of file", 1440),
        fieldRow("Text3", "Type", "Label3", "Type", "Word document or PDF or other", 2160),
        fieldRow("Text2", "Subject", "Label2", "Subject", "Description", 2880, 1335),
    };
    d.idBox = QStringLiteral("Text4");
    d.idField = QStringLiteral("ID");
    d.statusLabel = QStringLiteral("Label4");
    d.duplicateCheck = true;
    d.afterDelete = AfterDelete::BlankBoxes;
    lowerLayout(d, 5595, 4440);
    d.headingRect = {120, 240, 3855, 375};
    d.check1Rect = {1680, 1080, 855, 255};
    d.statusRect = {2640, 1080, 2535, 255};
    return d;
}

RegisterDefinition makeMultimedia()
{
    RegisterDefinition d;
    d.windowName = QStringLiteral("Multimedias");
    d.caption = QStringLiteral("Multimedia database");
    d.heading = QStringLiteral("Multimedia Files Informations");
    d.table = QStringLiteral("Multimedia");
    d.serialField = QStringLiteral("Sr_NO");
    d.fileNameField = QStringLiteral("Filename");
    d.rows = {
        fieldRow("Text1", "Filename", "Label1", "File Name", "Enter the name of file", 1440),
        fieldRow("Text3", "Type", "Label3", "Type", "Audio, video or images ?", 2160),
        fieldRow("Text2", "CopyrightInfo", "Label2", "Copyright", "Copyright info", 2880),
        fieldRow("Text4", "LastAccess", "Label4", "Last Access", "Last access date", 3600, kBoxHeight, 3480),
    };
    d.idBox = QStringLiteral("Text6");
    d.idField.clear(); // the multimedia register keeps no node key
    d.statusLabel = QStringLiteral("Label7");
    d.duplicateCheck = true;
    d.afterDelete = AfterDelete::BlankBoxes;
    lowerLayout(d, 5595, 4440);
    d.headingRect = {120, 240, 3735, 375};
    return d;
}

RegisterDefinition makeInstallNUpdate()
{
    RegisterDefinition d;
    d.windowName = QStringLiteral("InstallNUpdates");
    d.caption = QStringLiteral("Installation and Update Files");
    d.heading = QStringLiteral("Installations and Update Packages");
    d.table = QStringLiteral("InstallNUpdate");
    d.serialField = QStringLiteral("SrNO");
    d.fileNameField = QStringLiteral("Filename");
    d.rows = {
        fieldRow("Text1", "Filename", "Label1", "File Name", "Enter the name of file", 1440),
        fieldRow("Text3", "Type", "Label3", "Type", "Installation files or updates or plug-ins ?", 2160),
        fieldRow(
            "Text2", "Platform", "Label2", "Platform", "Operating System or Application environment", 2880),
        fieldRow("Text4", "Description", "Label4", "Description", "Size, type, owner, cost etc.", 3600, 1095,
            3480),
    };
    d.idBox = QStringLiteral("Text6");
    d.idField = QStringLiteral("ID");
    d.statusLabel = QStringLiteral("Label7");
    d.duplicateCheck = true;
    d.afterDelete = AfterDelete::BlankBoxes;
    lowerLayout(d, 6090, 4920);
    d.headingRect = {120, 240, 4455, 375};
    return d;
}

} // namespace

const RegisterFieldRow* RegisterDefinition::row(const QString& boxName) const
{
    for (const RegisterFieldRow& r : rows)
        if (r.box == boxName)
            return &r;
    return nullptr;
}

std::vector<QString> RegisterDefinition::requiredFields() const
{
    std::vector<QString> fields {serialField};
    for (const RegisterFieldRow& r : rows)
        fields.push_back(r.field);
    if (!idField.isEmpty())
        fields.push_back(idField);
    return fields;
}

const RegisterDefinition& projectsRegister()
{
    static const RegisterDefinition d = makeProjects();
    return d;
}

const RegisterDefinition& documentsRegister()
{
    static const RegisterDefinition d = makeDocuments();
    return d;
}

const RegisterDefinition& multimediaRegister()
{
    static const RegisterDefinition d = makeMultimedia();
    return d;
}

const RegisterDefinition& installNUpdateRegister()
{
    static const RegisterDefinition d = makeInstallNUpdate();
    return d;
}

std::array<const RegisterDefinition*, 4> allRegisters()
{
    return {&projectsRegister(), &documentsRegister(), &multimediaRegister(), &installNUpdateRegister()};
}

} // namespace qm
