<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>AboutUsForm</name>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
</context>
<context>
    <name>AndroidConnectWithUSBThread</name>
    <message>
        <source>IDS_CHECKING_APK_INSTALL</source>
        <translation>Checking and installing Quillbarrow SMS Agent now...</translation>
    </message>
    <message>
        <source>IDS_GET_ANDROID_DEVICE_INFO</source>
        <translation>Getting Android info...</translation>
    </message>
</context>
<context>
    <name>AndroidConnectWithWiFiThread</name>
    <message>
        <source>IDS_GET_ANDROID_DEVICE_INFO</source>
        <translation>Getting Android info...</translation>
    </message>
</context>
<context>
    <name>AndroidLoadSMSThread</name>
    <message>
        <source>IDS_ANDROID_LOADING_SMS</source>
        <translation>Loading SMS...</translation>
    </message>
</context>
<context>
    <name>AndroidRestoreSMSThread</name>
    <message>
        <source>IDS_RESTORING_SMS_TO_ANDROID</source>
        <translation>Sending SMS to Device...</translation>
    </message>
    <message>
        <source>IDS_SUC_RESTORE_%1_SMS_%2_STORED_%3_KNOWN</source>
        <translation>Successfully Transferred %1 SMS: %2 stored on the phone, %3 already there.</translation>
    </message>
    <message>
        <source>IDS_SKIP_%1_SMS_GROUP_OR_SYS_MESSAGES</source>
        <translation>%1 group messages or system messages can&apos;t be transferred.</translation>
    </message>
</context>
<context>
    <name>AndroidWIFIForm</name>
    <message>
        <source>IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE</source>
        <translation>Input Error. Please input the correct WiFi connection info.</translation>
    </message>
    <message>
        <source>IDS_CONNECTING_ANDROID_DEVICE</source>
        <translation>Connecting to Android...</translation>
    </message>
    <message>
        <source>Run Quillbarrow SMS Agent on Android phone and click Connection button to get the Wifi connection info. Now input the info to the following Text Box. </source>
        <translation>Run Quillbarrow SMS Agent on Android phone and click Connection button to get the Wifi connection info. Now input the info to the following Text Box. </translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Connect Android via WiFi</source>
        <translation>Connect Android via WiFi</translation>
    </message>
    <message>
        <source>If you haven&apos;t installed Quillbarrow SMS Agent on Android phone, please go to the Market (Google Play) on your Android to search Quillbarrow SMS Agent to download and install. </source>
        <translation>If you haven&apos;t installed Quillbarrow SMS Agent on Android phone, please go to the Market (Google Play) on your Android to search Quillbarrow SMS Agent to download and install. </translation>
    </message>
</context>
<context>
    <name>BackupSMSThread</name>
    <message>
        <source>IDS_BACKING_UP_SMS</source>
        <translation>Backing up SMS to Local Database...</translation>
    </message>
    <message>
        <source>IDS_SUC_BACKUP_%1_SMS_%2_NEW_%3_KNOWN</source>
        <translation>Successfully Backup %1 SMS to local Database: %2 new, %3 already there.</translation>
    </message>
</context>
<context>
    <name>CountrySelForm</name>
    <message>
        <source>IDS_SEL_YOUR_PHONE_COUNTRY</source>
        <translation>Select your country code:</translation>
    </message>
    <message>
        <source>IDS_CANT_CONTINUE_WITHOUT_SEL_ONE_COUNTRY</source>
        <translation>Please select a cuntry code first to continue.</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_SEL_COUNTRY_%1</source>
        <translation>Confirm to select %1?</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>DataSourceSelForm</name>
    <message>
        <source>确定</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>IDS_TITLE_SELECT_ONE_DEVICE_TO_TRANSFER</source>
        <translation>Please select a Device.</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_ONE_DATASOURCE</source>
        <translation>Need to select a Device to continue.</translation>
    </message>
</context>
<context>
    <name>DeleteMessagesThread</name>
    <message>
        <source>IDS_DELETING_LOCAL_DB_MESSAGES</source>
        <translation>Deleting SMS...</translation>
    </message>
    <message>
        <source>IDS_SUC_DELETE_%1_MESSAGES</source>
        <translation>Successfully Deleted %1 SMS.</translation>
    </message>
</context>
<context>
    <name>ExportSMSThread</name>
    <message>
        <source>IDS_EXPORTING_MESSAGES_TO_FILE</source>
        <translation>Exporting SMS...</translation>
    </message>
    <message>
        <source>Messages: %1/%2</source>
        <translation>SMS: %1/%2</translation>
    </message>
    <message>
        <source>IDS_SUC_EXPORT_%1_MMS</source>
        <translation>Successfully exported %1 SMS.</translation>
    </message>
</context>
<context>
    <name>ItemModelMain</name>
    <message>
        <source>IDS_ROOT_DEVICE</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>IDS_ROOT_LOCALDB</source>
        <translation>Local Databases</translation>
    </message>
</context>
<context>
    <name>LocalDbSelForm</name>
    <message>
        <source>选择要备份到哪个数据库</source>
        <translation>Select one Database for backup</translation>
    </message>
    <message>
        <source>选择或输入新的数据库名称:</source>
        <translation>Select current database to merge or enter a new database name:</translation>
    </message>
    <message>
        <source>选择现有的数据库会将短信息附加到里面,输入新的名字会创建新的本地数据库.</source>
        <translation>Selecting current Database will merge messages;entering new DB name will create a new Database.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME</source>
        <translation>Select one Database or enter a new Database name</translation>
    </message>
    <message>
        <source>IDS_INVALID_LOCALDB_NAME</source>
        <translation>Invalid Local Database name(can&apos;t contain \ / : * ? &quot; &lt; &gt; |).</translation>
    </message>
</context>
<context>
    <name>LocalDbUpdateThread</name>
    <message>
        <source>IDS_UPDATING_LOCALDB_%1</source>
        <translation>Updating local database &apos;%1&apos;...</translation>
    </message>
    <message>
        <source>IDS_LOCALDB_UPDATE_SUC_RESTART_REFRESH</source>
        <translation>Successfully updated local database. Please restart software.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Quillbarrow SMS Desk</source>
        <translation>Quillbarrow SMS Desk</translation>
    </message>
    <message>
        <source>Conversations</source>
        <translation>Conversations</translation>
    </message>
    <message>
        <source>Messages: 0</source>
        <translation>SMS: 0</translation>
    </message>
    <message>
        <source>Messages: %1</source>
        <translation>SMS: %1</translation>
    </message>
    <message>
        <source>IDS_CONNECTING_ANDROID_DEVICE</source>
        <translation>Connecting to Android...</translation>
    </message>
    <message>
        <source>IDS_ANDROID_LOADING_SMS</source>
        <translation>Loading SMS...</translation>
    </message>
    <message>
        <source>IDS_ANDROID_%1_CANT_READ_MMC_NUMBER</source>
        <translation>Failed to load country code from your phone. Please click &quot;OK&quot; button to select a country code manually.</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0</source>
        <translation>Find no contact with keyword %1.</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUND_AND_MESSAGES</source>
        <translation>Can&apos;t find any SMS.</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0</source>
        <translation>Find no SMS with keyword %1.</translation>
    </message>
    <message>
        <source>IDS_SEL_ONE_ANDROID_DEVICE</source>
        <translation>Please select an Android device:</translation>
    </message>
    <message>
        <source>IDS_SEL_EXPORT_MESSAGES_PATH</source>
        <translation>Please select Save Path for SMS.</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_SEL_MESSAGES</source>
        <translation>Confirm to delete the selected SMS?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_THIS_CHAT</source>
        <translation>Confirm to delete SMS with this contact?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_THIS_LOCALDB</source>
        <translation>Confirm to delete this Database?</translation>
    </message>
    <message>
        <source>IDS_DEL_LOCALDB_SUC</source>
        <translation>Successfully Deleted Database %0.</translation>
    </message>
    <message>
        <source>IDS_DEL_%1_SMS_FROM_LOCALDB_%2</source>
        <translation>%1 SMS will be deleted from Database %2.</translation>
    </message>
    <message>
        <source>IDS_DEL_%1_SMS_WITH_%2_FROM_LOCALDB_%3</source>
        <translation>%1 SMS with %2 will be deleted from Database %3.</translation>
    </message>
    <message>
        <source>IDS_DEL_LOCALDB_%1_WITH_%2_SMS</source>
        <translation>Database %1 will be deleted with all of its %2 SMS.</translation>
    </message>
    <message>
        <source>IDS_DEL_LOCALDB_%1_ALL_SMS</source>
        <translation>Database %1 will be deleted with all of its SMS.</translation>
    </message>
    <message>
        <source>IDS_DEL_LOCALDB_%1_FAILED_%2</source>
        <translation>Failed to delete Database %1: %2 still holds files that could not be removed.</translation>
    </message>
    <message>
        <source>IDS_SUC_CLEAR_CACHE</source>
        <translation>Successfully cleared cache files.</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>&amp;Backup SMS to Local Database</source>
        <translation>&amp;Backup SMS to Local Database</translation>
    </message>
    <message>
        <source>&amp;Transfer SMS from Database to Android</source>
        <translation>&amp;Transfer SMS from Database to Android</translation>
    </message>
    <message>
        <source>&amp;Export SMS to File</source>
        <translation>&amp;Export SMS to File</translation>
    </message>
    <message>
        <source>&amp;Print SMS</source>
        <translation>&amp;Print SMS</translation>
    </message>
    <message>
        <source>&amp;Delete SMS</source>
        <translation>&amp;Delete SMS</translation>
    </message>
    <message>
        <source>&amp;Reload</source>
        <translation>&amp;Reload</translation>
    </message>
    <message>
        <source>&amp;Import SMS from XML Backup...</source>
        <translation>&amp;Import SMS from XML Backup...</translation>
    </message>
    <message>
        <source>&amp;Open Database Folder</source>
        <translation>&amp;Open Database Folder</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>Check for &amp;Update</source>
        <translation>Check for &amp;Update</translation>
    </message>
    <message>
        <source>&amp;Clear Cache files</source>
        <translation>&amp;Clear Cache files</translation>
    </message>
    <message>
        <source>Connect Android Phone via &amp;WiFi</source>
        <translation>Connect Android Phone via &amp;WiFi</translation>
    </message>
    <message>
        <source>&amp;Feedback and Support</source>
        <translation>&amp;Feedback and Support</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>&amp;Search All Messages...</source>
        <translation>&amp;Search All Messages...</translation>
    </message>
    <message>
        <source>&amp;View Cache Files</source>
        <translation>&amp;View Cache Files</translation>
    </message>
    <message>
        <source>&amp;Disconnect Device</source>
        <translation>&amp;Disconnect Device</translation>
    </message>
    <message>
        <source>&amp;Delete this Database</source>
        <translation>&amp;Delete this Database</translation>
    </message>
    <message>
        <source>&amp;Backup SMS with this contact to Local Database</source>
        <translation>&amp;Backup SMS with this contact to Local Database</translation>
    </message>
    <message>
        <source>&amp;Export SMS with this contact to File</source>
        <translation>&amp;Export SMS with this contact to File</translation>
    </message>
    <message>
        <source>&amp;Print SMS with this contact</source>
        <translation>&amp;Print SMS with this contact</translation>
    </message>
    <message>
        <source>&amp;Transfer SMS with this contact to Android</source>
        <translation>&amp;Transfer SMS with this contact to Android</translation>
    </message>
    <message>
        <source>&amp;Delete SMS with this contact</source>
        <translation>&amp;Delete SMS with this contact</translation>
    </message>
    <message>
        <source>&amp;Backup Selected SMS to Local Database</source>
        <translation>&amp;Backup Selected SMS to Local Database</translation>
    </message>
    <message>
        <source>&amp;Export Selected SMS to File</source>
        <translation>&amp;Export Selected SMS to File</translation>
    </message>
    <message>
        <source>&amp;Print Selected SMS</source>
        <translation>&amp;Print Selected SMS</translation>
    </message>
    <message>
        <source>&amp;Transfer Selected SMS to Android</source>
        <translation>&amp;Transfer Selected SMS to Android</translation>
    </message>
    <message>
        <source>&amp;Delete Selected SMS</source>
        <translation>&amp;Delete Selected SMS</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>Quillbarrow SMS Desk</source>
        <translation>Quillbarrow SMS Desk</translation>
    </message>
</context>
<context>
    <name>ProgressForm</name>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>SMSPrinter</name>
    <message>
        <source>IDS_PRINT_SMS</source>
        <translation>Print SMS</translation>
    </message>
</context>
<context>
    <name>SmsBrowser</name>
    <message>
        <source>page %1 of %2</source>
        <translation>page %1 of %2</translation>
    </message>
</context>
</TS>
