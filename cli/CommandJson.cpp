#include "CommandJson.h"

#include "JsonWriter.h"

namespace holvane::cli {

std::string_view SchemaOf(Command command) {
    switch (command) {
        case Command::List:
            return "holvane-list/1";
        case Command::Backup:
            return "holvane-backup/1";
        case Command::Restore:
            return "holvane-restore/1";
        case Command::Download:
            return "holvane-download/1";
        case Command::Upload:
            return "holvane-upload/1";
        case Command::Show:
            return "holvane-file/1";
        default:
            return "";
    }
}

std::string RenderOutcomeText(const CommandOutcome& outcome) {
    return outcome.fileIsResult ? outcome.file + "\n" : "";
}

std::string RenderOutcomeJson(Command command, const CommandOutcome& outcome) {
    JsonWriter json;
    json.BeginObject();
    json.Key("schema").String(SchemaOf(command));
    json.Key("file").String(outcome.file);
    json.Key("records").BeginArray();
    for (const std::string& record : outcome.records) {
        json.String(record);
    }
    json.EndArray();
    json.Key("warning");
    outcome.warning ? json.String(*outcome.warning) : json.Null();
    json.Key("safetyCopy");
    outcome.safetyCopy ? json.String(*outcome.safetyCopy) : json.Null();
    json.EndObject();
    return json.Text();
}

std::string RenderDetectorListJson(const std::vector<ListedDetector>& detectors,
                                   const std::vector<UnopenedNode>& unopened) {
    JsonWriter json;
    json.BeginObject();
    json.Key("schema").String(SchemaOf(Command::List));
    json.Key("detectors").BeginArray();
    for (std::size_t i = 0; i < detectors.size(); ++i) {
        json.BeginObject()
            .Key("number")
            .Number(static_cast<std::int64_t>(i))
            .Key("path")
            .String(detectors[i].path)
            .Key("ids")
            .String(VendorProduct(detectors[i].vendorId, detectors[i].productId))
            .EndObject();
    }
    json.EndArray();
    json.Key("unopened").BeginArray();
    for (const UnopenedNode& node : unopened) {
        json.BeginObject()
            .Key("path")
            .String(node.path)
            .Key("ids")
            .String(VendorProduct(node.vendorId, node.productId))
            .Key("reason")
            .String(UnopenedReason(node.error))
            .EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.Text();
}

std::string RenderErrorJson(std::string_view message, int exitStatus) {
    std::string_view text = message;
    while (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    JsonWriter json;
    json.BeginObject();
    json.Key("schema").String(ErrorSchema);
    json.Key("message").String(text);
    json.Key("exitStatus").Number(exitStatus);
    json.EndObject();
    return json.Text();
}

}  // namespace holvane::cli
