<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>TCoreTexts</name>
    <message>
        <source>密码含有无法保存的字符！！！</source>
        <translation>The password holds characters that cannot be saved.</translation>
    </message>
    <message>
        <source>密码不能含有“|”或换行，也不能以空格结尾！！！</source>
        <translation>A password cannot hold “|” or a line break, nor end in a space.</translation>
    </message>
    <message>
        <source>必须是Pak补丁才可以改密码！！！</source>
        <translation>Only a Pak file has a password to change.</translation>
    </message>
</context>
<context>
    <name>TDialogParts</name>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>显示密码</source>
        <translation>Show password</translation>
    </message>
</context>
<context>
    <name>TErrorTexts</name>
    <message>
        <source>文件写入失败 ！！！
文件：%1
原因：%2</source>
        <translation>Writing the file failed.
File: %1
Reason: %2</translation>
    </message>
</context>
<context>
    <name>TExportPicture</name>
    <message>
        <source>保存为图片文件</source>
        <translation>Save as picture file</translation>
    </message>
    <message>
        <source>PNG 文件|*.PNG|BMP 文件|*.BMP|TGA 文件|*.TGA</source>
        <translation>PNG file|*.PNG|BMP file|*.BMP|TGA file|*.TGA</translation>
    </message>
    <message>
        <source>图片导出失败 ！！！</source>
        <translation>Exporting the image failed.</translation>
    </message>
    <message>
        <source>图片导出成功！！！</source>
        <translation>Image exported.</translation>
    </message>
    <message>
        <source>图片导出成功 ！！！</source>
        <translation>Images exported.</translation>
    </message>
</context>
<context>
    <name>TLanguageMenu</name>
    <message>
        <source>语言 / Language</source>
        <translation>Language / 语言</translation>
    </message>
    <message>
        <source>下次启动时界面改为英文。</source>
        <translation>The interface will be in English from the next start.</translation>
    </message>
    <message>
        <source>下次启动时界面改为中文。</source>
        <translation>The interface will be in Chinese from the next start.</translation>
    </message>
</context>
<context>
    <name>TPromptTexts</name>
    <message>
        <source>提示信息</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TReplaceTarget</name>
    <message>
        <source>其中有 %1 张图片</source>
        <translation>it holds %1 images</translation>
    </message>
    <message>
        <source>密码未知，无法读取其中的图片数</source>
        <translation>its password is unknown, so its image count cannot be read</translation>
    </message>
    <message>
        <source>它不是可以读取的资源文件</source>
        <translation>it is not a library that can be read</translation>
    </message>
    <message>
        <source>目标文件已打开：%1（%2 张图片）
它会被新文件替换，要先关闭它吗？</source>
        <translation>The target file is open: %1 (%2 images)
The new file will replace it. Close it first?</translation>
    </message>
    <message>
        <source>目标文件已打开，正在处理中，请稍后再试 ！！！
%1</source>
        <translation>The target file is open and busy; try again later.
%1</translation>
    </message>
    <message>
        <source>目标文件已存在：%1
%2，要用新文件替换它吗？</source>
        <translation>The target file exists: %1
%2. Replace it with the new file?</translation>
    </message>
</context>
<context>
    <name>TStatusTexts</name>
    <message>
        <source>8位色 压缩:</source>
        <translation>8-bit </translation>
    </message>
    <message>
        <source>16位色 压缩:</source>
        <translation>16-bit </translation>
    </message>
    <message>
        <source>24位色 压缩:</source>
        <translation>24-bit </translation>
    </message>
    <message>
        <source>32位色 压缩:</source>
        <translation>32-bit </translation>
    </message>
    <message>
        <source>是</source>
        <translation>compressed</translation>
    </message>
    <message>
        <source>否</source>
        <translation>raw</translation>
    </message>
    <message>
        <source>位色</source>
        <translation>-bit</translation>
    </message>
    <message>
        <source>位真彩</source>
        <translation>-bit true colour</translation>
    </message>
    <message>
        <source>序号:%1 宽:%2 高:%3 偏移坐标:%4,%5</source>
        <translation>#%1 %2×%3 offset %4,%5</translation>
    </message>
    <message>
        <source>Pak(1) %1位色</source>
        <translation>Pak(1) %1-bit</translation>
    </message>
    <message>
        <source>请先打开文件！！！</source>
        <translation>Open a file first.</translation>
    </message>
    <message>
        <source>Wis文件只能修改坐标！！！</source>
        <translation>Only the offsets of a WIS library can be changed.</translation>
    </message>
    <message>
        <source>文件只能读取，无法修改！！！</source>
        <translation>The file can only be read, not changed.</translation>
    </message>
    <message>
        <source>索引文件丢失或损坏，请先修复！！！</source>
        <translation>The index file is missing or damaged; repair it first.</translation>
    </message>
    <message>
        <source>文件不完整（已被截断），无法修改！！！</source>
        <translation>The file is incomplete (cut short) and cannot be changed.</translation>
    </message>
    <message>
        <source>上次保存被中断，其日志无法完成，请先修复！！！</source>
        <translation>The last save was interrupted and its journal cannot be finished; repair first.</translation>
    </message>
    <message>
        <source>文件读写失败：%1
%2</source>
        <translation>Reading or writing a file failed: %1
%2</translation>
    </message>
    <message>
        <source>详细信息：</source>
        <translation>Details: </translation>
    </message>
    <message>
        <source>操作失败：</source>
        <translation>The command failed: </translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>the file does not exist</translation>
    </message>
    <message>
        <source>不是可以读取的 %1 图片（已损坏或是其他格式）</source>
        <translation>not a readable %1 picture (damaged or of another format)</translation>
    </message>
    <message>
        <source>文件已被其他程序修改</source>
        <translation>another program changed the library</translation>
    </message>
    <message>
        <source>文件已被其他程序修改，无法重新读取</source>
        <translation>another program changed the library and it cannot be read again</translation>
    </message>
    <message>
        <source>文件夹不存在</source>
        <translation>the folder does not exist</translation>
    </message>
    <message>
        <source>密码错误</source>
        <translation>Wrong password</translation>
    </message>
    <message>
        <source>不是可以读取的资源文件（已损坏或是其他类型）</source>
        <translation>not a readable library (damaged or of another kind)</translation>
    </message>
    <message>
        <source>这是 %1 文件，不是 %2 文件</source>
        <translation>the file is a %1 library, not %2</translation>
    </message>
    <message>
        <source>新文件和旧文件是同一个文件</source>
        <translation>the target is the source file</translation>
    </message>
    <message>
        <source>无法创建资源文件</source>
        <translation>the library could not be created</translation>
    </message>
    <message>
        <source>新文件无法用它的密码打开</source>
        <translation>the new library does not open with its password</translation>
    </message>
    <message>
        <source>新文件无法打开</source>
        <translation>the new library could not be opened</translation>
    </message>
    <message>
        <source>新文件只有旧文件 %2 张图片中的 %1 张</source>
        <translation>the new library holds %1 of the %2 images of the source</translation>
    </message>
    <message>
        <source>第 %1 张图片无法转换</source>
        <translation>image %1 could not be converted</translation>
    </message>
    <message>
        <source>新文件不接受第 %1 张图片</source>
        <translation>image %1 was refused by the target</translation>
    </message>
    <message>
        <source>第 %1 张图片不存在</source>
        <translation>image %1 does not exist</translation>
    </message>
    <message>
        <source>第 %1 张图片没有图像</source>
        <translation>image %1 has no picture</translation>
    </message>
    <message>
        <source>第 %1 张图片大于 %2 的图集</source>
        <translation>image %1 is larger than a sheet of %2</translation>
    </message>
    <message>
        <source>编号 %1 到 %2 超出了文件的 %3 张图片</source>
        <translation>the range %1..%2 is not inside the library&apos;s %3 images</translation>
    </message>
    <message>
        <source>第 %1 到 %2 张图片没有可见的像素</source>
        <translation>the images %1..%2 have no visible pixels</translation>
    </message>
    <message>
        <source>文件中没有图片</source>
        <translation>the library holds no images</translation>
    </message>
    <message>
        <source>没有指定导出文件夹</source>
        <translation>no target folder given</translation>
    </message>
    <message>
        <source>没有指定文件名</source>
        <translation>no file name given</translation>
    </message>
    <message>
        <source>没有可以导入的图片</source>
        <translation>no picture to import</translation>
    </message>
    <message>
        <source>没有导入任何图片，文件没有改动</source>
        <translation>nothing imported; the library is unchanged</translation>
    </message>
    <message>
        <source>偏移坐标超出范围（-32768 到 32767）</source>
        <translation>the offset is out of range (-32768 to 32767)</translation>
    </message>
    <message>
        <source>空图片没有偏移坐标</source>
        <translation>an empty image has no offset</translation>
    </message>
    <message>
        <source>坐标文件无法写入</source>
        <translation>the offset file could not be written</translation>
    </message>
    <message>
        <source>图片无法编码或写入</source>
        <translation>the picture could not be encoded or written</translation>
    </message>
    <message>
        <source>图片无法转换</source>
        <translation>the picture could not be converted</translation>
    </message>
    <message>
        <source>图片没有像素</source>
        <translation>the image has no pixels</translation>
    </message>
    <message>
        <source>文件拒绝了这次修改</source>
        <translation>the library refused the change</translation>
    </message>
    <message>
        <source>图集中没有图片</source>
        <translation>the atlas holds no frames</translation>
    </message>
    <message>
        <source>图片无法排进图集</source>
        <translation>the frames could not be packed</translation>
    </message>
    <message>
        <source>图集图片无法写入</source>
        <translation>the sheet could not be written</translation>
    </message>
    <message>
        <source>图集尺寸至少为 1，间距必须小于尺寸</source>
        <translation>the sheet size must be at least 1 and the padding below it</translation>
    </message>
    <message>
        <source>不支持这种转换</source>
        <translation>this conversion is not offered</translation>
    </message>
    <message>
        <source>Wil 文件只能是 8、16、24 或 32 位色</source>
        <translation>a WIL library holds 8, 16, 24 or 32 bits per pixel</translation>
    </message>
    <message>
        <source>无法启动导出线程</source>
        <translation>no worker thread could be started</translation>
    </message>
    <message>
        <source>文件已损坏：Pak文件头不完整</source>
        <translation>damaged: the file ends inside the Pak header</translation>
    </message>
    <message>
        <source>没有打开文件</source>
        <translation>no library is open</translation>
    </message>
    <message>
        <source>Wis 文件不能修改</source>
        <translation>WIS libraries cannot be changed</translation>
    </message>
    <message>
        <source>文件只能以只读方式打开</source>
        <translation>the library can be opened for reading only</translation>
    </message>
    <message>
        <source>索引文件丢失或为空，请先修复</source>
        <translation>the index file is missing or empty; repair it first</translation>
    </message>
    <message>
        <source>索引文件与数据文件不符，请先修复</source>
        <translation>the index does not match the data file; repair it first</translation>
    </message>
    <message>
        <source>没有权限</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>磁盘空间不足</source>
        <translation>no space left on the disk</translation>
    </message>
    <message>
        <source>文件系统是只读的</source>
        <translation>the file system is read-only</translation>
    </message>
    <message>
        <source>文件太大</source>
        <translation>the file is too large</translation>
    </message>
    <message>
        <source>文件或文件夹不存在</source>
        <translation>no such file or folder</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>数据不完整，文件在这张图片中间结束</source>
        <translation>data incomplete: the file ends inside this image</translation>
    </message>
    <message>
        <source>数据无法解码</source>
        <translation>the data cannot be decoded</translation>
    </message>
    <message>
        <source>读取失败</source>
        <translation>reading failed</translation>
    </message>
    <message>
        <source>（%1）</source>
        <translation> (%1)</translation>
    </message>
    <message>
        <source>图片数据损坏: </source>
        <translation>Image data damaged: </translation>
    </message>
    <message>
        <source>文件正在被其他程序修改，请稍后再试！！！</source>
        <translation>Another program is changing the file; try again later.</translation>
    </message>
    <message>
        <source>%1 张图片的透明通道将丢失（透明像素变为黑色）</source>
        <translation>the alpha channel of %1 images will be lost (transparent pixels turn black)</translation>
    </message>
    <message>
        <source>%1 张图片的透明通道将以一半宽度保存</source>
        <translation>the alpha channel of %1 images will be kept at half precision</translation>
    </message>
    <message>
        <source>%1 张图片的颜色将减为调色板的256色</source>
        <translation>the colours of %1 images will be reduced to the 256 of the palette</translation>
    </message>
    <message>
        <source>%1 张图片的颜色将减为%2位</source>
        <translation>the colours of %1 images will be reduced to %2 bits</translation>
    </message>
</context>
<context>
    <name>velmora::TFileDropHandler</name>
    <message>
        <source>拖放导入</source>
        <translation>Drop import</translation>
    </message>
    <message>
        <source>图片导入失败 ！！！
%1%2</source>
        <translation>Importing the pictures failed.
%1%2</translation>
    </message>
    <message>
        <source>：</source>
        <translation>: </translation>
    </message>
    <message>
        <source>图片导入成功 ！！！</source>
        <translation>Images imported.</translation>
    </message>
</context>
<context>
    <name>velmora::TFrmAnimation</name>
    <message>
        <source>动画预览</source>
        <translation>Animation preview</translation>
    </message>
    <message>
        <source>起始:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>张数:</source>
        <translation>Images:</translation>
    </message>
    <message>
        <source>帧/秒:</source>
        <translation>Frames/s:</translation>
    </message>
    <message>
        <source>上一帧</source>
        <translation>Previous frame</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>下一帧</source>
        <translation>Next frame</translation>
    </message>
    <message>
        <source>循环</source>
        <translation>Loop</translation>
    </message>
    <message>
        <source>显示上一帧</source>
        <translation>Show previous frame</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
</context>
<context>
    <name>velmora::TFrmChangePassword</name>
    <message>
        <source>Pak文件密码修改</source>
        <translation>Change Pak file password</translation>
    </message>
    <message>
        <source>新密码:</source>
        <translation>New password:</translation>
    </message>
    <message>
        <source>备份原文件</source>
        <translation>Back up the original file</translation>
    </message>
    <message>
        <source>开始修改</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>请先打开一个Pak补丁！！！</source>
        <translation>Open a Pak file first.</translation>
    </message>
    <message>
        <source>必须是Pak补丁才可以改密码！！！</source>
        <translation>Only a Pak file has a password to change.</translation>
    </message>
    <message>
        <source>密码更改</source>
        <translation>Change password</translation>
    </message>
    <message>
        <source>修改完成！！！
密码列表 Pak.txt 未能保存，请记住新密码。</source>
        <translation>Password changed.
The password list Pak.txt could not be saved; keep a note of the new password.</translation>
    </message>
    <message>
        <source>修改完成！！！</source>
        <translation>Password changed.</translation>
    </message>
    <message>
        <source>密码修改失败 ！！！
</source>
        <translation>Changing the password failed.
</translation>
    </message>
</context>
<context>
    <name>velmora::TFrmCreateData</name>
    <message>
        <source>新建</source>
        <translation>New</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>8位</source>
        <translation>8 bits</translation>
    </message>
    <message>
        <source>16位</source>
        <translation>16 bits</translation>
    </message>
    <message>
        <source>24位</source>
        <translation>24 bits</translation>
    </message>
    <message>
        <source>32位</source>
        <translation>32 bits</translation>
    </message>
    <message>
        <source>设置密码</source>
        <translation>Set a password</translation>
    </message>
    <message>
        <source>密码:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>创建Wil文件</source>
        <translation>Create WIL library</translation>
    </message>
    <message>
        <source>传奇图片资源文件|*.Wil|*.Wil</source>
        <translation>Game image library|*.Wil|*.Wil</translation>
    </message>
    <message>
        <source>创建Wzl文件</source>
        <translation>Create WZL library</translation>
    </message>
    <message>
        <source>传奇图片资源文件|*.Wzl|*.Wzl</source>
        <translation>Game image library|*.Wzl|*.Wzl</translation>
    </message>
    <message>
        <source>创建Pak文件</source>
        <translation>Create Pak library</translation>
    </message>
    <message>
        <source>[www.velmora.example] 资源文件|*.Pak|*.Pak</source>
        <translation>[www.velmora.example] library|*.Pak|*.Pak</translation>
    </message>
    <message>
        <source>创建成功 ！！！</source>
        <translation>Library created.</translation>
    </message>
    <message>
        <source>创建失败 ！！！</source>
        <translation>Creating the library failed.</translation>
    </message>
</context>
<context>
    <name>velmora::TFrmPassword</name>
    <message>
        <source>Pak补丁密码管理</source>
        <translation>Pak password list</translation>
    </message>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>每一个Pak文件需要设置正确的读取密码，否则登录器无法正常读取该Pak文件
修改密码后点击保存，自动获取密码状态</source>
        <translation>Every Pak file needs its right password, or the launcher cannot read it.
After changing passwords, click Save; the states are then read anew.</translation>
    </message>
    <message>
        <source>增加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>清空</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>导入</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>提示：可将登录器配置目录中的 Pak.txt 复制到本程序目录下读取</source>
        <translation>Tip: copy Pak.txt from the launcher&apos;s configuration folder into this program&apos;s folder to read it.</translation>
    </message>
    <message>
        <source>Pak文件|*.Pak</source>
        <translation>Pak file|*.Pak</translation>
    </message>
    <message>
        <source>文本文件|*.txt</source>
        <translation>Text file|*.txt</translation>
    </message>
    <message>
        <source>第 %1 行：</source>
        <translation>Line %1: </translation>
    </message>
</context>
<context>
    <name>velmora::TLibraryClipboard</name>
    <message>
        <source>无法粘贴替换 ！！！
要替换第 %1 到第 %2 张图片，但文件只有 %3 张图片。</source>
        <translation>Cannot paste over.
Images %1 to %2 would be replaced, but the file holds only %3 images.</translation>
    </message>
    <message>
        <source>无法粘贴 ！！！
</source>
        <translation>Cannot paste.
</translation>
    </message>
    <message>
        <source>没有选中的图片</source>
        <translation>No image is selected</translation>
    </message>
    <message>
        <source>已复制 %1 张图片：%2</source>
        <translation>%1 images copied: %2</translation>
    </message>
    <message>
        <source>无法粘贴替换 ！！！
请先选择要替换的图片。</source>
        <translation>Cannot paste over.
Select the images to replace first.</translation>
    </message>
    <message>
        <source>粘贴</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>粘贴替换</source>
        <translation>Paste over</translation>
    </message>
    <message>
        <source>粘贴到末尾</source>
        <translation>Paste at the end</translation>
    </message>
    <message>
        <source>剪贴板中没有图片 ！！！</source>
        <translation>The clipboard holds no images.</translation>
    </message>
    <message>
        <source>无法读取剪贴板中的图片 ！！！
</source>
        <translation>The images on the clipboard cannot be read.
</translation>
    </message>
    <message>
        <source>粘贴失败 ！！！
</source>
        <translation>Pasting failed.
</translation>
    </message>
    <message>
        <source>粘贴失败 ！！！
坐标超出范围(-32768..32767)</source>
        <translation>Pasting failed.
The offset is out of range (-32768..32767).</translation>
    </message>
    <message>
        <source>已粘贴剪贴板中的图片到 %1</source>
        <translation>The clipboard picture was pasted into %1</translation>
    </message>
    <message>
        <source>%1 %2 张图片到 %3（%4位）：
%5
继续吗？</source>
        <translation>%1: %2 images into %3 (%4 bits):
%5
Go on?</translation>
    </message>
    <message>
        <source>未粘贴，文件未修改</source>
        <translation>Nothing pasted; the file is unchanged</translation>
    </message>
    <message>
        <source>已取消粘贴（%1/%2），文件未修改</source>
        <translation>Paste cancelled (%1/%2); the file is unchanged</translation>
    </message>
    <message>
        <source>已粘贴 %1 张图片到 %2</source>
        <translation>%1 images pasted into %2</translation>
    </message>
    <message>
        <source>%1 张图片无法解码，已作为空图片粘贴，其后图片的序号不变。</source>
        <translation>%1 images could not be decoded and were pasted as empty images; the numbers of the images after them stay.</translation>
    </message>
    <message>
        <source>拖放粘贴</source>
        <translation>Drop paste</translation>
    </message>
</context>
<context>
    <name>velmora::TLibraryDocument</name>
    <message>
        <source>撤销记录超过 %1 MB，已放弃最早的 %2 步</source>
        <translation>The undo steps exceeded %1 MB; the %2 oldest were dropped</translation>
    </message>
    <message>
        <source>文件已被其他程序修改，撤销记录已清除</source>
        <translation>Another program changed the file; the undo steps were cleared</translation>
    </message>
    <message>
        <source>文件已被其他程序修改，已重新读取</source>
        <translation>Another program changed the file; it was read again</translation>
    </message>
    <message>
        <source>坐标</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>已撤销: %1</source>
        <translation>Undone: %1</translation>
    </message>
    <message>
        <source>已重做: %1</source>
        <translation>Redone: %1</translation>
    </message>
    <message>
        <source>文件已被其他程序删除或移走</source>
        <translation>Another program deleted or moved the file</translation>
    </message>
    <message>
        <source>文件已被其他程序修改，但无法重新读取：%1</source>
        <translation>Another program changed the file, but it cannot be read again: %1</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmAtlasExportDlg</name>
    <message>
        <source>导出图集</source>
        <translation>Export atlas</translation>
    </message>
    <message>
        <source>JSON 哈希 (json-hash)</source>
        <translation>JSON hash (json-hash)</translation>
    </message>
    <message>
        <source>JSON 数组 (json-array)</source>
        <translation>JSON array (json-array)</translation>
    </message>
    <message>
        <source>起始编号:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>结束编号:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>图集文件:</source>
        <translation>Atlas sheet:</translation>
    </message>
    <message>
        <source>数据格式:</source>
        <translation>Data format:</translation>
    </message>
    <message>
        <source>图片间距:</source>
        <translation>Padding:</translation>
    </message>
    <message>
        <source>最大尺寸:</source>
        <translation>Maximum size:</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>PNG图集 (*.png)|*.png</source>
        <translation>PNG atlas (*.png)|*.png</translation>
    </message>
    <message>
        <source>请先选择图集文件 ！！！</source>
        <translation>Choose the atlas sheet first.</translation>
    </message>
    <message>
        <source>图集导出已取消 ！！！
已处理 %1/%2 时停止，没有留下任何文件。</source>
        <translation>Atlas export cancelled.
Stopped at %1/%2; no files were left behind.</translation>
    </message>
    <message>
        <source>图集导出失败 ！！！
</source>
        <translation>Exporting the atlas failed.
</translation>
    </message>
    <message>
        <source>图集导出成功 ！！！
%1 张图片，%2 张图集，%3 张空图片未导出</source>
        <translation>Atlas exported.
%1 images, %2 sheets; %3 empty images left out</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmAtlasImportDlg</name>
    <message>
        <source>导入图集</source>
        <translation>Import atlas</translation>
    </message>
    <message>
        <source>图集数据:</source>
        <translation>Atlas data:</translation>
    </message>
    <message>
        <source>导入方式</source>
        <translation>Import mode</translation>
    </message>
    <message>
        <source>从尾部添加</source>
        <translation>Append</translation>
    </message>
    <message>
        <source>按编号插入</source>
        <translation>Insert at number</translation>
    </message>
    <message>
        <source>按编号覆盖</source>
        <translation>Replace from number</translation>
    </message>
    <message>
        <source>起始编号:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>压缩</source>
        <translation>Compressed</translation>
    </message>
    <message>
        <source>导入</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>图集数据 (*.json)|*.json</source>
        <translation>Atlas data (*.json)|*.json</translation>
    </message>
    <message>
        <source>图集数据文件不存在 ！！！</source>
        <translation>The atlas data file does not exist.</translation>
    </message>
    <message>
        <source>图集导入已取消 ！！！
已处理 %1/%2 张时停止，文件没有任何改动。</source>
        <translation>Atlas import cancelled.
Stopped at %1/%2; the files are unchanged.</translation>
    </message>
    <message>
        <source>图集导入失败 ！！！
</source>
        <translation>Importing the atlas failed.
</translation>
    </message>
    <message>
        <source>图集导入成功 ！！！
%1 张图片</source>
        <translation>Atlas imported.
%1 images</translation>
    </message>
    <message>
        <source>，%1 张空图片补齐编号</source>
        <translation>, %1 empty images fill the gaps in the numbers</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmCompareDlg</name>
    <message>
        <source>像素</source>
        <translation>Pixels</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>坐标</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>只在 A 中</source>
        <translation>Only in A</translation>
    </message>
    <message>
        <source>只在 B 中</source>
        <translation>Only in B</translation>
    </message>
    <message>
        <source>—</source>
        <translation>—</translation>
    </message>
    <message>
        <source>坐标 %1,%2</source>
        <translation>offset %1,%2</translation>
    </message>
    <message>
        <source>空图片</source>
        <translation>Empty images</translation>
    </message>
    <message>
        <source>%1×%2 %3</source>
        <translation>%1×%2 %3</translation>
    </message>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>差异</source>
        <translation>Difference</translation>
    </message>
    <message>
        <source>比较</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>比较需要两个打开的文件 ！！！
请再打开一个文件。</source>
        <translation>Comparing needs two open files.
Open another file.</translation>
    </message>
    <message>
        <source>与 %1 比较的文件:</source>
        <translation>File to compare with %1:</translation>
    </message>
    <message>
        <source>%1 正在运行任务，请稍后再比较 ！！！</source>
        <translation>%1 is running a job; compare later.</translation>
    </message>
    <message>
        <source>已取消比较</source>
        <translation>Comparison cancelled</translation>
    </message>
    <message>
        <source>比较失败 ！！！
</source>
        <translation>The comparison failed.
</translation>
    </message>
    <message>
        <source>两个文件相同 ！！！
%1 和 %2 的 %3 张图片的像素、大小和坐标都相同。</source>
        <translation>The two files are the same.
The %3 images of %1 and %2 have the same pixels, sizes and offsets.</translation>
    </message>
    <message>
        <source>比较：%1 张图片与 %2 不同</source>
        <translation>Compare: %1 images differ from %2</translation>
    </message>
    <message>
        <source>比较: %1 - %2</source>
        <translation>Compare: %1 - %2</translation>
    </message>
    <message>
        <source>A: %1，%2 张图片
B: %3，%4 张图片
%5 张图片不同。</source>
        <translation>A: %1, %2 images
B: %3, %4 images
%5 images differ.</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmConvertDlg</name>
    <message>
        <source>Wis资源文件 文件 (*.Wis)|*.Wis</source>
        <translation>WIS library (*.Wis)|*.Wis</translation>
    </message>
    <message>
        <source>Wzl资源文件 文件 (*.Wzl)|*.Wzl</source>
        <translation>WZL library (*.Wzl)|*.Wzl</translation>
    </message>
    <message>
        <source>[www.velmora.example] 资源文件 文件 (*.Pak;*.Data)|*.Pak;*.Data</source>
        <translation>[www.velmora.example] library (*.Pak;*.Data)|*.Pak;*.Data</translation>
    </message>
    <message>
        <source>Wil资源文件 文件 (*.Wil)|*.Wil</source>
        <translation>WIL library (*.Wil)|*.Wil</translation>
    </message>
    <message>
        <source>数据转换</source>
        <translation>Convert</translation>
    </message>
    <message>
        <source>转换类型</source>
        <translation>Convert to</translation>
    </message>
    <message>
        <source>旧文件:</source>
        <translation>Source file:</translation>
    </message>
    <message>
        <source>新文件:</source>
        <translation>New file:</translation>
    </message>
    <message>
        <source>是否压缩</source>
        <translation>Compression</translation>
    </message>
    <message>
        <source>不压缩</source>
        <translation>Uncompressed</translation>
    </message>
    <message>
        <source>压缩</source>
        <translation>Compressed</translation>
    </message>
    <message>
        <source>设置密码</source>
        <translation>Set a password</translation>
    </message>
    <message>
        <source>密码:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>转换</source>
        <translation>Convert</translation>
    </message>
    <message>
        <source>数据转换(%1/%2)</source>
        <translation>Convert (%1/%2)</translation>
    </message>
    <message>
        <source>[www.velmora.example] 资源文件 文件 (*.Pak)|*.Pak</source>
        <translation>[www.velmora.example] library (*.Pak)|*.Pak</translation>
    </message>
    <message>
        <source>资源文件 文件 (*%1)|*%1</source>
        <translation>Library (*%1)|*%1</translation>
    </message>
    <message>
        <source>创建Data文件</source>
        <translation>Create Data library</translation>
    </message>
    <message>
        <source>转换已取消 ！！！
没有写入新文件。</source>
        <translation>Conversion cancelled.
No new file was written.</translation>
    </message>
    <message>
        <source>转换失败 ！！！
</source>
        <translation>The conversion failed.
</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>请输入旧文件的密码:</source>
        <translation>Password of the source file:</translation>
    </message>
    <message>
        <source>密码错误</source>
        <translation>Wrong password</translation>
    </message>
    <message>
        <source>此转换会丢失部分内容：
</source>
        <translation>This conversion loses part of the content:
</translation>
    </message>
    <message>
        <source>
继续转换吗？</source>
        <translation>
Convert anyway?</translation>
    </message>
    <message>
        <source>转换已取消 ！！！
已转换 %1/%2 张时停止，没有写入新文件。</source>
        <translation>Conversion cancelled.
Stopped at %1/%2; no new file was written.</translation>
    </message>
    <message>
        <source>转换成功 ！！！</source>
        <translation>Converted.</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmDelDlg</name>
    <message>
        <source>删除图片</source>
        <translation>Delete images</translation>
    </message>
    <message>
        <source>图片编号</source>
        <translation>Image numbers</translation>
    </message>
    <message>
        <source>起始编号:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>结束编号:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>删除方式</source>
        <translation>Delete mode</translation>
    </message>
    <message>
        <source>彻底删除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>空图片代替</source>
        <translation>Replace with empty images</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>确定要%1第 %2 到第 %3 张图片（共 %4 张）吗？</source>
        <translation>%1 images %2 to %3 (%4 images)?</translation>
    </message>
    <message>
        <source>清空</source>
        <translation>Blank</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>删除已取消 ！！！
文件没有任何改动。</source>
        <translation>Delete cancelled.
The files are unchanged.</translation>
    </message>
    <message>
        <source>图片删除失败 ！！！
</source>
        <translation>Deleting the images failed.
</translation>
    </message>
    <message>
        <source>图片删除失败 ！！！</source>
        <translation>Deleting the images failed.</translation>
    </message>
    <message>
        <source>图片删除成功 ！！！</source>
        <translation>Images deleted.</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmInPutDlg</name>
    <message>
        <source>图片导入</source>
        <translation>Import image</translation>
    </message>
    <message>
        <source>坐标</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>导入方式</source>
        <translation>Import mode</translation>
    </message>
    <message>
        <source>覆盖图片</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>插入图片</source>
        <translation>Insert</translation>
    </message>
    <message>
        <source>尾部添加</source>
        <translation>Append</translation>
    </message>
    <message>
        <source>是否压缩</source>
        <translation>Compression</translation>
    </message>
    <message>
        <source>不压缩</source>
        <translation>Uncompressed</translation>
    </message>
    <message>
        <source>压缩</source>
        <translation>Compressed</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>PNG文件|*.PNG|BMP文件|*.bmp|TGA文件|*.TGA</source>
        <translation>PNG file|*.PNG|BMP file|*.bmp|TGA file|*.TGA</translation>
    </message>
    <message>
        <source>图片导入失败 ！！！
%1：%2</source>
        <translation>Importing the image failed.
%1: %2</translation>
    </message>
    <message>
        <source>导入</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>图片导入失败 ！！！
坐标超出范围(-32768..32767)</source>
        <translation>Importing the image failed.
The offset is out of range (-32768..32767).</translation>
    </message>
    <message>
        <source>图片导入成功 ！！！</source>
        <translation>Images imported.</translation>
    </message>
    <message>
        <source>图片导入失败 ！！！</source>
        <translation>Importing the images failed.</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmInPutManyDlg</name>
    <message>
        <source>图片导入失败 ！！！
</source>
        <translation>Importing the images failed.
</translation>
    </message>
    <message>
        <source>没有导入任何图片 ！！！</source>
        <translation>No images were imported.</translation>
    </message>
    <message>
        <source>图片导入成功 ！！！</source>
        <translation>Images imported.</translation>
    </message>
    <message>
        <source>图片导入完成，%1/%2 张失败 ！！！</source>
        <translation>Import finished; %1 of %2 images failed.</translation>
    </message>
    <message>
        <source>
%1 张图片无法读取，已用空图片代替</source>
        <translation>
%1 pictures could not be read; empty images stand in for them</translation>
    </message>
    <message>
        <source>
%1 张被图库拒绝</source>
        <translation>
%1 refused by the library</translation>
    </message>
    <message>
        <source>批量导入图片</source>
        <translation>Batch import images</translation>
    </message>
    <message>
        <source>导入内容</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>图片和坐标</source>
        <translation>Images and offsets</translation>
    </message>
    <message>
        <source>图片</source>
        <translation>Images</translation>
    </message>
    <message>
        <source>坐标</source>
        <translation>Offsets</translation>
    </message>
    <message>
        <source>空图片</source>
        <translation>Empty images</translation>
    </message>
    <message>
        <source>图片所在文件夹:</source>
        <translation>Picture folder:</translation>
    </message>
    <message>
        <source>图片索引号</source>
        <translation>Image numbers</translation>
    </message>
    <message>
        <source>起始编号:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>结束编号:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>导入方式</source>
        <translation>Import mode</translation>
    </message>
    <message>
        <source>从尾部添加</source>
        <translation>Append</translation>
    </message>
    <message>
        <source>按编号插入</source>
        <translation>Insert at number</translation>
    </message>
    <message>
        <source>按编号覆盖</source>
        <translation>Replace from number</translation>
    </message>
    <message>
        <source>坐标获得方式</source>
        <translation>Offsets from</translation>
    </message>
    <message>
        <source>同名坐标文件</source>
        <translation>Offset files of the same name</translation>
    </message>
    <message>
        <source>相同坐标</source>
        <translation>The same offset</translation>
    </message>
    <message>
        <source>是否压缩</source>
        <translation>Compression</translation>
    </message>
    <message>
        <source>不压缩</source>
        <translation>Uncompressed</translation>
    </message>
    <message>
        <source>压缩</source>
        <translation>Compressed</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>坐标所在文件夹:</source>
        <translation>Offset folder:</translation>
    </message>
    <message>
        <source>添加张数:</source>
        <translation>Images to add:</translation>
    </message>
    <message>
        <source>浏览文件夹</source>
        <translation>Browse for folder</translation>
    </message>
    <message>
        <source>请先选择坐标所在文件夹 ！！！</source>
        <translation>Choose the offset folder first.</translation>
    </message>
    <message>
        <source>请先选择图片所在文件夹 ！！！</source>
        <translation>Choose the picture folder first.</translation>
    </message>
    <message>
        <source>坐标所在文件夹不存在 ！！！
%1</source>
        <translation>The offset folder does not exist.
%1</translation>
    </message>
    <message>
        <source>图片所在文件夹不存在 ！！！
%1</source>
        <translation>The picture folder does not exist.
%1</translation>
    </message>
    <message>
        <source>批量导入</source>
        <translation>Batch import</translation>
    </message>
    <message>
        <source>批量导入图片(%1/%2)</source>
        <translation>Batch import images (%1/%2)</translation>
    </message>
    <message>
        <source>批量导入已取消 ！！！
已处理 %1/%2 张时停止，文件没有任何改动。</source>
        <translation>Batch import cancelled.
Stopped at %1/%2; the files are unchanged.</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmMain</name>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source> (正在关闭)</source>
        <translation> (closing)</translation>
    </message>
    <message>
        <source>%1 正在运行任务 ！！！
取消任务并关闭文件吗？</source>
        <translation>%1 is running a job.
Cancel the job and close the file?</translation>
    </message>
    <message>
        <source>[www.velmora.example 2019-09-10] 资源编辑器(Wil, Wis, Wzl, Pak) </source>
        <translation>[www.velmora.example 2019-09-10] Library Editor (Wil, Wis, Wzl, Pak) </translation>
    </message>
    <message>
        <source> 64位</source>
        <translation> 64-bit</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>新建</source>
        <translation>New</translation>
    </message>
    <message>
        <source>密码管理</source>
        <translation>Passwords</translation>
    </message>
    <message>
        <source>密码更改</source>
        <translation>Change password</translation>
    </message>
    <message>
        <source>导入</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>批量导入</source>
        <translation>Batch import</translation>
    </message>
    <message>
        <source>批量导出</source>
        <translation>Batch export</translation>
    </message>
    <message>
        <source>坐标</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>数据转换</source>
        <translation>Convert</translation>
    </message>
    <message>
        <source>关闭文件</source>
        <translation>Close file</translation>
    </message>
    <message>
        <source>官方网站</source>
        <translation>Website</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>最近打开的文件</source>
        <translation>Recent files</translation>
    </message>
    <message>
        <source>导入图集...</source>
        <translation>Import atlas...</translation>
    </message>
    <message>
        <source>导出图集...</source>
        <translation>Export atlas...</translation>
    </message>
    <message>
        <source>修复索引</source>
        <translation>Repair index</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>粘贴</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>粘贴替换</source>
        <translation>Paste over</translation>
    </message>
    <message>
        <source>粘贴到末尾</source>
        <translation>Paste at the end</translation>
    </message>
    <message>
        <source>比较...</source>
        <translation>Compare...</translation>
    </message>
    <message>
        <source>透明显示</source>
        <translation>Transparent display</translation>
    </message>
    <message>
        <source>显示存储的像素（不透明）</source>
        <translation>Show stored pixels (opaque)</translation>
    </message>
    <message>
        <source>Ctrl + F 查找文件</source>
        <translation>Ctrl + F finds a file</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>编辑(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>撤销</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>重做</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>转到图片...</source>
        <translation>Go to image...</translation>
    </message>
    <message>
        <source>下一个空图片</source>
        <translation>Next empty image</translation>
    </message>
    <message>
        <source>上一个空图片</source>
        <translation>Previous empty image</translation>
    </message>
    <message>
        <source>查看(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>放大预览</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>缩小预览</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>实际大小 1:1</source>
        <translation>Actual size 1:1</translation>
    </message>
    <message>
        <source>适合窗口</source>
        <translation>Fit to window</translation>
    </message>
    <message>
        <source>预览背景</source>
        <translation>Preview background</translation>
    </message>
    <message>
        <source>棋盘格</source>
        <translation>Checkerboard</translation>
    </message>
    <message>
        <source>黑色</source>
        <translation>Black</translation>
    </message>
    <message>
        <source>白色</source>
        <translation>White</translation>
    </message>
    <message>
        <source>其他颜色...</source>
        <translation>Other colour...</translation>
    </message>
    <message>
        <source>预览背景颜色</source>
        <translation>Preview background colour</translation>
    </message>
    <message>
        <source>缩略图大小</source>
        <translation>Thumbnail size</translation>
    </message>
    <message>
        <source>%1 × %1</source>
        <translation>%1 × %1</translation>
    </message>
    <message>
        <source>动画预览...</source>
        <translation>Animation preview...</translation>
    </message>
    <message>
        <source>工具(&amp;T)</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>检查文件</source>
        <translation>Check file</translation>
    </message>
    <message>
        <source>游戏资源(*.Wil,*.Wis,*.Wzl,*.Pak,*.Data)|*.Wil;*.Wis;*.Wzl;*.Pak;*.Data</source>
        <translation>Game libraries (*.Wil,*.Wis,*.Wzl,*.Pak,*.Data)|*.Wil;*.Wis;*.Wzl;*.Pak;*.Data</translation>
    </message>
    <message>
        <source>无法启动浏览器 ！！！
请手动打开网址：%1</source>
        <translation>No browser could be started.
Open this address yourself: %1</translation>
    </message>
    <message>
        <source>有任务正在运行 ！！！
取消任务并退出吗？</source>
        <translation>A job is running.
Cancel the job and exit?</translation>
    </message>
    <message>
        <source>文件不存在 ！！！
%1</source>
        <translation>The file does not exist.
%1</translation>
    </message>
    <message>
        <source>文件查找</source>
        <translation>Find file</translation>
    </message>
    <message>
        <source>输入文件名称:</source>
        <translation>File name:</translation>
    </message>
    <message>
        <source>在文件管理器中打开</source>
        <translation>Open in file manager</translation>
    </message>
    <message>
        <source>复制路径</source>
        <translation>Copy path</translation>
    </message>
    <message>
        <source>显示库文件</source>
        <translation>Show library file</translation>
    </message>
    <message>
        <source>%1 ！！！
%2</source>
        <translation>%1.
%2</translation>
    </message>
    <message>
        <source>%1 ！！！</source>
        <translation>%1.</translation>
    </message>
    <message>
        <source>撤销失败</source>
        <translation>Undo failed</translation>
    </message>
    <message>
        <source>重做失败</source>
        <translation>Redo failed</translation>
    </message>
    <message>
        <source>撤销 %1</source>
        <translation>Undo %1</translation>
    </message>
    <message>
        <source>重做 %1</source>
        <translation>Redo %1</translation>
    </message>
    <message>
        <source>转到图片</source>
        <translation>Go to image</translation>
    </message>
    <message>
        <source>图片编号 (0 - %1):</source>
        <translation>Image number (0 - %1):</translation>
    </message>
    <message>
        <source>后面没有空图片</source>
        <translation>No empty image after this one</translation>
    </message>
    <message>
        <source>前面没有空图片</source>
        <translation>No empty image before this one</translation>
    </message>
    <message>
        <source>文件检查已取消 ！！！
已检查 %1/%2 张图片。</source>
        <translation>File check cancelled.
%1 of %2 images checked.</translation>
    </message>
    <message>
        <source>文件检查失败</source>
        <translation>The file check failed</translation>
    </message>
    <message>
        <source>文件检查完成 ！！！
%1 张图片全部完好。</source>
        <translation>File check finished.
All %1 images are sound.</translation>
    </message>
    <message>
        <source>文件检查完成 ！！！
%1 张图片中有 %2 张损坏:</source>
        <translation>File check finished.
%2 of %1 images are damaged:</translation>
    </message>
    <message>
        <source>
…… 另有 %1 张</source>
        <translation>
… and %1 more</translation>
    </message>
    <message>
        <source>图片坐标修改失败 ！！！
</source>
        <translation>Changing the offset failed.
</translation>
    </message>
    <message>
        <source>内存不足，文件的索引或图片太大</source>
        <translation>Not enough memory: the index or the images of the file are too large</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>无法打开 %1 ！！！
%2</source>
        <translation>Cannot open %1.
%2</translation>
    </message>
    <message>
        <source>%1 是 %2 的索引文件，请打开数据文件 ！！！</source>
        <translation>%1 is the index file of %2; open the data file.</translation>
    </message>
    <message>
        <source>无法打开 %1 ！！！
文件是空的，不是资源文件。</source>
        <translation>Cannot open %1.
The file is empty; it is no library.</translation>
    </message>
    <message>
        <source>无法打开 %1 ！！！
Pak文件头不完整，文件已损坏。</source>
        <translation>Cannot open %1.
The Pak header is incomplete; the file is damaged.</translation>
    </message>
    <message>
        <source>已取消打开 %1</source>
        <translation>Opening %1 cancelled</translation>
    </message>
    <message>
        <source>无法打开 %1 ！！！
文件不是%2资源文件，或已损坏。</source>
        <translation>Cannot open %1.
The file is no %2 library, or it is damaged.</translation>
    </message>
    <message>
        <source>上次保存被中断，无法完成，文件只能查看</source>
        <translation>The last save was interrupted and cannot be finished; the file is read-only</translation>
    </message>
    <message>
        <source>上次保存被中断，其日志无法完成 ！！！
%1
文件只能查看；“修复索引”可把日志另存，之后即可修改。</source>
        <translation>The last save was interrupted and its journal cannot be finished.
%1
The file is read-only; “Repair index” sets the journal aside, and then the file can be changed.</translation>
    </message>
    <message>
        <source>上次中断的保存已完成。
</source>
        <translation>The interrupted last save was finished.
</translation>
    </message>
    <message>
        <source>文件不完整（已被截断），只显示完好的图片</source>
        <translation>The file is incomplete (cut short); only the sound images are shown</translation>
    </message>
    <message>
        <source>数据文件不完整 ！！！
文件在第 %1 张图片处结束，第 %1 到第 %2 张图片的数据已丢失。
修复索引只保留文件中完好的图片，现在修复吗？</source>
        <translation>The data file is incomplete.
The file ends at image %1; the data of images %1 to %2 is lost.
Repairing the index keeps only the sound images of the file. Repair it now?</translation>
    </message>
    <message>
        <source>索引文件丢失或损坏，请先修复！！！
</source>
        <translation>The index file is missing or damaged; repair it first.
</translation>
    </message>
    <message>
        <source>显示 %1 张图片，文件头记录 %2 张。
</source>
        <translation>%1 images shown; the header records %2.
</translation>
    </message>
    <message>
        <source>现在修复索引吗？</source>
        <translation>Repair the index now?</translation>
    </message>
    <message>
        <source>无法处理日志 ！！！
</source>
        <translation>The journal cannot be handled.
</translation>
    </message>
    <message>
        <source>上次保存被中断，其日志无法完成：
%1

修复会把日志另存为 %2</source>
        <translation>The last save was interrupted and its journal cannot be finished:
%1

Repairing sets the journal aside as %2</translation>
    </message>
    <message>
        <source>，未完成的文件另存为 %1</source>
        <translation>, the unfinished file as %1</translation>
    </message>
    <message>
        <source>，不删除任何文件，然后重新读取。继续吗？</source>
        <translation>, deletes no file, and reads the library again. Go on?</translation>
    </message>
    <message>
        <source>只有Wil和Wzl文件有索引！！！</source>
        <translation>Only WIL and WZL libraries have an index.</translation>
    </message>
    <message>
        <source>索引修复失败 ！！！
</source>
        <translation>Repairing the index failed.
</translation>
    </message>
    <message>
        <source>索引修复完成！！！
找到 %1 张图片，文件末尾 %2 字节无法识别。</source>
        <translation>Index repaired.
%1 images found; %2 bytes at the end of the file could not be recognised.</translation>
    </message>
    <message>
        <source>
原索引已保存为 %1</source>
        <translation>
The old index was kept as %1</translation>
    </message>
    <message>
        <source>输入密码</source>
        <translation>Enter password</translation>
    </message>
    <message>
        <source>输入密码:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>密码错误</source>
        <translation>Wrong password</translation>
    </message>
    <message>
        <source> (数据文件不完整)</source>
        <translation> (data file incomplete)</translation>
    </message>
    <message>
        <source> (索引文件丢失或损坏)</source>
        <translation> (index file missing or damaged)</translation>
    </message>
    <message>
        <source>序号:%1 </source>
        <translation>#%1 </translation>
    </message>
    <message>
        <source>序号:%1 空图片</source>
        <translation>#%1 empty image</translation>
    </message>
    <message>
        <source>密码更改</source>
        <comment>toolbar</comment>
        <translation>Password</translation>
    </message>
    <message>
        <source>批量导入</source>
        <comment>toolbar</comment>
        <translation>Import all</translation>
    </message>
    <message>
        <source>批量导出</source>
        <comment>toolbar</comment>
        <translation>Export all</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmOutPutDlg</name>
    <message>
        <source>图片导出成功 ！！！</source>
        <translation>Images exported.</translation>
    </message>
    <message>
        <source>图片导出完成，%1/%2 张失败 ！！！</source>
        <translation>Export finished; %1 of %2 images failed.</translation>
    </message>
    <message>
        <source>批量导出图片</source>
        <translation>Batch export images</translation>
    </message>
    <message>
        <source>导出到文件夹:</source>
        <translation>Export to folder:</translation>
    </message>
    <message>
        <source>图片编号</source>
        <translation>Image numbers</translation>
    </message>
    <message>
        <source>起始编号:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>结束编号:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>导出文件格式</source>
        <translation>File format</translation>
    </message>
    <message>
        <source>自动模式会根据存储的文件格式导出相应的文件格式</source>
        <translation>Auto exports each image in the format it is stored in</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>大批量导出文件时，
尽量把其他程序全部关闭
开始导出时，
不要再操作电脑，等待导出完成</source>
        <translation>For a large export,
close other programs
and leave the computer
until the export is done</translation>
    </message>
    <message>
        <source>高速导出</source>
        <translation>Fast export</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>浏览文件夹</source>
        <translation>Browse for folder</translation>
    </message>
    <message>
        <source>请先选择图片导出的文件夹 ！！！</source>
        <translation>Choose the export folder first.</translation>
    </message>
    <message>
        <source>结束编号超出最后一张图片，已改为 %1 ！！！</source>
        <translation>The last number lies beyond the last image; it is now %1.</translation>
    </message>
    <message>
        <source>图片导出失败 ！！！
%1</source>
        <translation>Exporting the images failed.
%1</translation>
    </message>
    <message>
        <source>批量导出已取消 ！！！
已导出 %1/%2 张图片。</source>
        <translation>Batch export cancelled.
%1 of %2 images exported.</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmXYDlg</name>
    <message>
        <source>偏移坐标</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>坐标</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>图片坐标修改成功 ！！！</source>
        <translation>Offset changed.</translation>
    </message>
    <message>
        <source>图片坐标修改失败 ！！！
</source>
        <translation>Changing the offset failed.
</translation>
    </message>
</context>
</TS>
