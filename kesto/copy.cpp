#include "kesto/copy.h"

#include "kesto/console.h"
#include "kesto/walker.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/output.h"

namespace kesto {
namespace {

using plat::Message;

const Message MSG_CREATE_DIRECTORY = {"Create directory %s", "作成ディレクトリ %s"};
const Message MSG_CANNOT_CREATE_DIRECTORY = {"\nCannot create directory!(%ld/0x%lX)",
                                             "\nディレクトリが作成できません!(%ld/0x%lX)"};
const Message MSG_CHANGE_ATTRIBUTES_FAILED = {"\nChange directory attributes failed!",
                                              "\nディレクトリの属性変更でエラーが発生しました!"};

}  // namespace

bool create_directory(const char* model_path, std::uint32_t attributes, bool announce) {
    plat::Output& out = plat::std_out();
    const char* path = walker.dest_path.c_str();
    if (announce) out.print(MSG_CREATE_DIRECTORY, path);
    bool created = plat::create_directory(path, model_path);
    if (!created) {
        const long error = plat::last_error();
        print_reversed(1, MSG_CANNOT_CREATE_DIRECTORY, error, static_cast<unsigned long>(error));
    } else if (!plat::set_attributes(path, attributes)) {
        print_reversed(1, MSG_CHANGE_ATTRIBUTES_FAILED);
    }
    if (announce) out.text("\n");
    return created;
}

}  // namespace kesto

namespace kesto {

int copy_entry() { return 1; }

}  // namespace kesto
