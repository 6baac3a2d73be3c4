#include "shell/project_state.h"

namespace mk {

const char* table_file_name(TableFile table) {
    switch (table) {
    case TableFile::Pargen:
        return "pargen.xml";
    case TableFile::Sdo:
        return "sdo.xml";
    case TableFile::Rpdodef:
        return "rpdodef.xml";
    case TableFile::Sdopdo:
        return "sdopdo.xml";
    case TableFile::Emcydef:
        return "emcydef.xml";
    case TableFile::Emcyword:
        return "emcyword.xml";
    case TableFile::TransmitPdo:
        return "Transmit_Pdo.xml";
    }
    return "";
}

std::filesystem::path ProjectState::table_path(TableFile table) const {
    return project_dir / table_file_name(table);
}

std::string caption_for(const std::string& project_name) {
    return std::string(kBaseCaption) + project_name;
}

} // namespace mk
