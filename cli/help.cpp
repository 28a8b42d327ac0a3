#include "cli/help.h"

namespace cli {

std::string helpText() {
    return R"(用法：
  pellucor                      打开窗口
  pellucor run 选项…            不开窗口，按选项运行，每个子表一次
  pellucor undo [--list | 运行]  撤销最近一次运行，或列出可撤销的运行，或撤销指定的运行
  pellucor --help               显示本说明

pellucor run 的选项（列用字母 A 到 Z；工作表用从 1 起的位置，.xlsx 和 .xlsm 也可用名称）：
  --parent 文件                 父表工作簿（必填）
  --parent-sheet N|名称         父表的工作表，默认 1
  --parent-key A[,D[,E]]        父表的键列，默认 A；多列为组合键
  --parent-key-condition 条件   按条件取父表的键，例如 '??6*'
  --child 文件|文件夹|通配符    子表，可多次给出（必填）；文件夹取其中的工作簿
  --child-sheet N|名称          子表的工作表，默认 1
  --child-key A[,B[,C]]         子表的键列，默认 A；列数与 --parent-key 相同
  --child-key-condition 条件    按条件取子表的键
  --value B                     将匹配的指定列，默认 A
  --also-value C,D              作为结果时另取的父表列
  --compare agree|differ        进行匹配：将匹配或不匹配的值作为结果
  --keep parent|child|both      进行匹配时取父、子或父子的值，默认 parent
  --into-child-column C         结果插入到子表的该列之前（默认，A 列）
  --into-workbook 文件          结果插入到另一个工作簿的第 1 个工作表
  --column B                    与 --into-workbook 同用：插入到该列之前，默认 A
  --into-new-workbook 文件.xlsx 结果写入新建的工作簿（文件不能已存在；只用于一个子表）
  --ignore-errors               忽略格式产生的错误
  --ignore-width                全角半角视为相同
  --ignore-case                 忽略大小写
  --ignore-invisible            忽略不可见字符
  --duplicates first|last|all|count  父表的键重复时取第一行、最后一行、全部或行数
  --unmatched 文字              没有结果的行写入该文字（默认留空）
  --stop-on-error               一个子表失败后不再运行其余的子表
  --json                        以 JSON 输出摘要

一次运行中父表只读取一次。每个子表单独运行、单独备份，并在摘要中占一段。
标准错误是终端时显示进度；按 Ctrl-C 与“取消”相同，不保存任何文件。
退出状态：0 全部完成，1 有运行未完成，2 选项有误。
)";
}

}  // namespace cli
